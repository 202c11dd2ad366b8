#include "aldpanel/core/startup.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "aldpanel/core/config.h"
#include "aldpanel/core/platform.h"

namespace fs = std::filesystem;

namespace aldpanel {
namespace {

std::string Join(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

bool Readable(const std::string& path) {
  return platform::IsReadable(path);
}

bool IsDirectory(const std::string& path) {
  return platform::IsDirectory(path);
}

std::string NonEmpty(const EnvLookup& env, const char* name) {
  const char* value = env ? env(name) : nullptr;
  return value != nullptr ? std::string(value) : std::string();
}

// The shipped tree holds the tables at its top and the antenna configuration
// files under "acf"; the working directory keeps the tables under "data" and
// the configuration files under "acf".
fs::path SeedTarget(const fs::path& workDir, const fs::path& relative) {
  auto first = relative.begin();
  if (first != relative.end() && *first == "acf") return workDir / relative;
  return workDir / "data" / relative;
}

}  // namespace

EnvLookup ProcessEnv() {
  return [](const char* name) -> const char* { return std::getenv(name); };
}

StartupPaths ResolveStartupPaths(const std::string& programDir, const std::string& currentDir,
                                 const EnvLookup& env) {
  StartupPaths p;
  p.programDir = programDir;
  p.startupMode = Readable(Join(currentDir, "AppStartup.ini")) ||
                  (!programDir.empty() && Readable(Join(programDir, "AppStartup.ini")));

  std::string all_users = NonEmpty(env, "ALLUSERSPROFILE");
  std::string xdg = NonEmpty(env, "XDG_DATA_HOME");
  std::string home = NonEmpty(env, "HOME");
  if (p.startupMode && !all_users.empty()) {
    p.workDir = Join(all_users, "Mirelk");
  } else if (!xdg.empty() && xdg[0] == '/') {
    // A relative XDG_DATA_HOME is invalid and is to be ignored.
    p.workDir = Join(xdg, "aldcontrol");
  } else if (!home.empty()) {
    p.workDir = Join(home, ".local/share/aldcontrol");
  } else {
    p.workDir = currentDir;
  }

  p.tempDir = Join(p.workDir, "tmp");
  p.configPath = Join(p.workDir, "mirelk.conf");
  p.logTmpOut = Join(p.workDir, "debug_tmp.log");
  p.logTmpErr = Join(p.workDir, "debug_tmp.err");
  p.logOut = Join(p.workDir, "debug.log");
  p.logErr = Join(p.workDir, "debug.err");

  std::vector<std::string> candidates;
  std::string explicit_dir = NonEmpty(env, "ALDPANEL_DATA_DIR");
  if (!explicit_dir.empty()) candidates.push_back(explicit_dir);
  if (!programDir.empty()) {
    candidates.push_back(Join(programDir, "data"));
    candidates.push_back(Join(programDir, "../share/aldcontrol/data"));
    candidates.push_back(Join(programDir, "../../data"));
  }
  for (const std::string& c : candidates) {
    // The tree is recognised by its vendor table, so that an unrelated
    // "data" folder next to the program is not copied.
    if (IsDirectory(c) && Readable(Join(c, "vendor_short_name.tbl"))) {
      std::error_code ec;
      fs::path canonical = fs::weakly_canonical(c, ec);
      p.shippedData = ec ? c : canonical.string();
      break;
    }
  }
  return p;
}

std::string RunningProgramDir() {
  return platform::ProgramDir();
}

bool PrepareWorkDir(const StartupPaths& paths, std::string* why) {
  std::error_code ec;
  fs::create_directories(paths.workDir, ec);
  if (ec || !IsDirectory(paths.workDir)) {
    if (why != nullptr) {
      *why = "cannot create " + paths.workDir + ": " + (ec ? ec.message() : "not a directory");
    }
    return false;
  }
  fs::create_directories(paths.tempDir, ec);

  if (!paths.shippedData.empty()) {
    fs::path source(paths.shippedData);
    fs::path work(paths.workDir);
    auto it =
        fs::recursive_directory_iterator(source, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      const fs::directory_entry& entry = *it;
      std::error_code e2;
      if (!entry.is_regular_file(e2)) continue;
      fs::path target = SeedTarget(work, fs::relative(entry.path(), source, e2));
      if (e2 || fs::exists(target, e2)) continue;
      fs::create_directories(target.parent_path(), e2);
      fs::copy_file(entry.path(), target, fs::copy_options::skip_existing, e2);
    }
  }

  if (paths.startupMode && !Readable(paths.configPath)) {
    WriteDefaultConfig(paths.configPath, paths.programDir);
  }
  return true;
}

int DebugOutput::Apply(int mode, const StartupPaths& paths) {
  std::fflush(stdout);
  std::fflush(stderr);
  paths_ = paths;
  mode_ = 0;
  int out = -1;
  int err = -1;
  if (mode == 0) {
    out = platform::OpenNullForWriting();
    err = out >= 0 ? platform::Duplicate(out) : -1;
  } else if (mode == 1) {
    mode_ = 1;
    return mode_;
  } else if (mode == 2 || mode == 3) {
    const std::string& out_path = mode == 2 ? paths.logOut : paths.logTmpOut;
    const std::string& err_path = mode == 2 ? paths.logErr : paths.logTmpErr;
    platform::RemoveFile(out_path);
    platform::RemoveFile(err_path);
    out = platform::OpenForWriting(out_path);
    err = platform::OpenForWriting(err_path);
  }
  if (out < 0 || err < 0) {
    if (out >= 0) platform::Close(out);
    if (err >= 0) platform::Close(err);
    return mode_;
  }
  savedOut_ = platform::Duplicate(platform::kStdOut);
  savedErr_ = platform::Duplicate(platform::kStdErr);
  platform::Redirect(out, platform::kStdOut);
  platform::Redirect(err, platform::kStdErr);
  platform::Close(out);
  platform::Close(err);
  mode_ = mode;
  return mode_;
}

void DebugOutput::Finish() {
  std::fflush(stdout);
  std::fflush(stderr);
  if (savedOut_ >= 0) {
    platform::Redirect(savedOut_, platform::kStdOut);
    platform::Close(savedOut_);
    savedOut_ = -1;
  }
  if (savedErr_ >= 0) {
    platform::Redirect(savedErr_, platform::kStdErr);
    platform::Close(savedErr_);
    savedErr_ = -1;
  }
  if (mode_ == 3) {
    AppendFile(paths_.logTmpOut, paths_.logOut);
    AppendFile(paths_.logTmpErr, paths_.logErr);
  }
  mode_ = 0;
}

bool AppendFile(const std::string& from, const std::string& to) {
  FILE* in = std::fopen(from.c_str(), "rb");
  if (in == nullptr) return false;
  FILE* out = std::fopen(to.c_str(), "ab");
  if (out == nullptr) {
    std::fclose(in);
    return false;
  }
  char buffer[4096];
  size_t n;
  bool ok = true;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
    if (std::fwrite(buffer, 1, n, out) != n) {
      ok = false;
      break;
    }
  }
  std::fclose(in);
  if (std::fclose(out) != 0) ok = false;
  return ok;
}

char DetectDecimalSeparator() {
  const char* text = "8.8";
  char* end = nullptr;
  std::strtod(text, &end);
  return (end != nullptr && *end == '\0') ? '.' : ',';
}

std::string WithDecimalSeparator(std::string text, char separator) {
  for (char& c : text) {
    if (c == '.') c = separator;
  }
  return text;
}

}  // namespace aldpanel
