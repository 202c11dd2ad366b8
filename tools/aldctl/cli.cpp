#include "tools/aldctl/cli.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#include "tools/aldctl/fields.h"

namespace aldctl {

namespace {

struct VerbHelp {
  const char* verb;
  const char* usage;
  const char* text;
};

const VerbHelp kVerbs[] = {
    {"scan", "scan [--depth N] [--assign 0|1]",
     "Searches the antenna line for devices and reads each one. --depth N (1 to 17,\n"
     "default 4) is how many trailing characters of the unique IDs the search\n"
     "resolves; it also bounds the search to N minutes. --assign 1 (default) gives\n"
     "every device found a new HDLC address; --assign 0 only searches and keeps\n"
     "AISG 1.x addresses. Says on standard error how many devices and units were\n"
     "found, and which of them could not be read.\n"},
    {"add", "add VENDOR SERIAL",
     "Finds one device by its two-letter vendor code and serial number, gives it an\n"
     "address when it is new, and adds it to the device table.\n"},
    {"refresh", "refresh", "Reads every known device again (tilts, gains, alarms, device data).\n"},
    {"list", "list [--format text|csv|json]",
     "Prints the device table, one row per RET antenna or TMA unit. text: aligned\n"
     "columns with tilts in degrees and gains in dB; csv and json: every field under\n"
     "its name, values as the table holds them (tilts and bearings in tenths of a\n"
     "degree, gains in quarter dB). A value never read from the device is empty\n"
     "(null in JSON). CSV texts that a spreadsheet would run as a formula get a\n"
     "leading single quote. Standard output carries the table alone.\n"},
    {"report", "report FILE",
     "Writes the site report of the device table to FILE for a spreadsheet, as the\n"
     "operator program's Export Site Report does: a RET and a TMA section, one row\n"
     "per antenna or TMA unit in the order of its grids, tilts in degrees and gains\n"
     "in dB. Vendor and antenna model names and status texts come from the operator\n"
     "program's tables (its working directory, else the data tree it ships); without\n"
     "them the codes are written. Every value is a text formula (=\"...\") that\n"
     "shows exactly the device's text and runs nothing. FILE is replaced whole, or\n"
     "left as it was when the report cannot be written.\n"},
    {"tilt", "tilt get ADDR SUB | tilt set ADDR SUB DEGREES",
     "Reads or sets the electrical tilt of RET antenna SUB at address ADDR. DEGREES\n"
     "goes in tenths of a degree (e.g. 4.5, 4.50 or -1.0) and must lie within the\n"
     "antenna's minimum and maximum tilt; when those were never read, the device\n"
     "decides.\n"},
    {"calibrate", "calibrate ADDR SUB",
     "Calibrates RET antenna SUB (the actuator runs end to end).\n"},
    {"configure", "configure ADDR SUB FILE",
     "Uploads the antenna configuration file FILE (ACF) to RET antenna SUB. A file\n"
     "whose name holds \".hex\" must be pairs of hexadecimal digits and nothing else;\n"
     "an empty or malformed file is refused before anything is sent.\n"},
    {"gain", "gain get ADDR SUB | gain set ADDR SUB DB",
     "Reads or sets the gain of TMA unit SUB. DB is in quarter decibel steps\n"
     "(e.g. 12, 12.25, 12.5) within the unit's minimum and maximum gain.\n"},
    {"mode", "mode get ADDR SUB | mode set ADDR SUB normal|bypass",
     "Reads or sets the mode of TMA unit SUB.\n"},
    {"alarms", "alarms get ADDR SUB | alarms clear ADDR SUB",
     "Shows the active alarms of a subunit, one a line as the code and its name in\n"
     "the list of the device's AISG generation (\"none\" when there are none; for a\n"
     "TMA the alarms of the last refresh), or clears them. A device that does not\n"
     "answer has unknown alarms: that is a failure, not \"none\".\n"},
    {"selftest", "selftest ADDR", "Runs the self test of the device at ADDR.\n"},
    {"reset", "reset ADDR", "Restarts the software of the device at ADDR.\n"},
    {"poll", "poll ADDR", "Polls the TMA at ADDR once.\n"},
    {"download", "download ADDR FILE [FILE...]",
     "Loads new software (binary or Intel HEX) into the device at ADDR, the files one\n"
     "after the other (at most 5, none empty). The device restarts and is read\n"
     "again afterwards.\n"},
    {"data", "data get ADDR SUB [NAME...] | data set ADDR SUB NAME VALUE [NAME VALUE...]",
     "Shows table fields of a subunit by name (all of them without NAME; one value\n"
     "alone when one NAME is given), or writes device data fields. Names are the\n"
     "table's (\"Site ID\", \"Sector ID\", \"Bearing\", \"Mech. Tilt\", ...), the same in\n"
     "lower case with hyphens (site-id, sector-id, bearing, mech-tilt), or the keys\n"
     "of the site files (base-station-id, mechanical-tilt, install-date, band,\n"
     "beamwidth, antenna-serial, rx-band, tx-band). A TMA's model and serial\n"
     "number are \"TMA Model\" and \"TMA Serial No.\". Values are\n"
     "written as the table shows them: texts as they are, numbers in tenths of a\n"
     "degree or quarter dB, bands as hexadecimal digits. Writable: Antenna Model,\n"
     "Antenna Serial No., Freq. Band, Beam Width, Antenna Gain, Max Tilt, Min Tilt\n"
     "(RET), Max Gain, Min Gain, TMA Type, TMA rxFreqBand, TMA txFreqBand,\n"
     "GainResolution (TMA), Installation Date, Installer ID, Site ID, Sector ID,\n"
     "Bearing, Mech. Tilt.\n"},
    {"power", "power get | power set on|off",
     "Reads or switches the adapter's 12 V supply of the line.\n"},
    {"ab", "ab get | ab set 0|1", "Reads or sets the adapter's RS-485 A/B switch.\n"},
    {"port", "port", "Prints the number of the adapter's serial port.\n"},
    {"version", "version switch VENDOR 1|2",
     "Switches the devices of the vendor's switchable model to AISG 1.x or 2.0.\n"},
    {"close-port", "close-port",
     "Sends the vendor's closing command on the line and closes the port.\n"},
};

const VerbHelp* FindVerb(const std::string& verb) {
  for (const VerbHelp& v : kVerbs) {
    if (verb == v.verb) return &v;
  }
  return nullptr;
}

std::string Quoted(const std::string& s) {
  return "\"" + s + "\"";
}

std::string UpperCase(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string LowerCase(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// "4.50" -> "4.5", "12.250" -> "12.25", "3.0" stays; only after a point.
std::string WithoutTrailingZeros(std::string s) {
  const size_t dot = s.find('.');
  if (dot == std::string::npos) return s;
  while (s.size() > dot + 2 && s.back() == '0') s.pop_back();
  return s;
}

class Parser {
 public:
  Parser(Command& cmd, std::string& error) : cmd_(cmd), error_(error) {}

  bool Fail(const std::string& message) {
    error_ = cmd_.verb + ": " + message;
    return false;
  }

  bool Address(const std::string& word) {
    long v = 0;
    if (!ParseInt(word, v) || v < 1 || v > kMaxAddress)
      return Fail("address " + Quoted(word) + " is not a device address (1 to " +
                  std::to_string(kMaxAddress) + ")");
    cmd_.address = static_cast<int>(v);
    return true;
  }

  bool Subunit(const std::string& word) {
    long v = 0;
    if (!ParseInt(word, v) || v < 1 || v > kMaxSubunit)
      return Fail("subunit " + Quoted(word) + " is not a subunit number (1 to " +
                  std::to_string(kMaxSubunit) + ")");
    cmd_.subunit = static_cast<int>(v);
    return true;
  }

  bool ReadableFile(const std::string& path) {
    struct stat st {};
    if (path.empty()) return Fail("empty file name");
    if (stat(path.c_str(), &st) != 0) return Fail("no such file: " + path);
    if (!S_ISREG(st.st_mode)) return Fail("not a regular file: " + path);
    if (access(path.c_str(), R_OK) != 0) return Fail("cannot read file: " + path);
    // Nothing is sent for an empty file; better said now than after a
    // search of the bus.
    if (st.st_size == 0) return Fail("the file is empty: " + path);
    cmd_.files.push_back(path);
    return true;
  }

 private:
  Command& cmd_;
  std::string& error_;
};

// A configuration file whose name holds ".hex" goes to the device as pairs
// of hexadecimal digits, nothing else; one that is not would be cut off
// part way on the line. Empty when the file is fine (or not such a file).
std::string HexConfigurationProblem(const std::string& path) {
  if (path.find(".hex") == std::string::npos) return "";
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return "cannot read file: " + path;
  long count = 0;
  std::string problem;
  for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file), ++count) {
    if (!std::isxdigit(c)) {
      char where[96];
      std::snprintf(where, sizeof where, ": byte %ld is 0x%02X, not a hexadecimal digit", count + 1,
                    static_cast<unsigned>(c));
      problem = "not a hexadecimal configuration file: " + path + where;
      break;
    }
  }
  if (problem.empty() && std::ferror(file)) problem = "cannot read file: " + path;
  if (problem.empty() && count % 2 != 0)
    problem = "not a hexadecimal configuration file: " + path + ": an odd number of digits";
  std::fclose(file);
  return problem;
}

bool Count(Parser& p, const std::vector<std::string>& pos, size_t n, const char* usage) {
  if (pos.size() == n) return true;
  return p.Fail(std::string(pos.size() < n ? "missing arguments" : "too many arguments") +
                "; usage: aldctl " + usage);
}

bool ParseCommand(const std::vector<std::string>& words, Command& cmd, std::string& error) {
  // "help [COMMAND]" inside a chain shows that help, like COMMAND --help.
  if (words[0] == "help") {
    if (words.size() > 2) {
      error = "help takes at most one command name; usage: aldctl help [COMMAND]";
      return false;
    }
    cmd.verb = words.size() == 2 ? words[1] : "";
    if (!cmd.verb.empty() && FindVerb(cmd.verb) == nullptr) {
      error = "unknown command " + Quoted(cmd.verb) + "; see aldctl --help";
      return false;
    }
    cmd.help = true;
    return true;
  }
  cmd.verb = words[0];
  const VerbHelp* verb = FindVerb(cmd.verb);
  if (verb == nullptr) {
    error = "unknown command " + Quoted(cmd.verb) + "; see aldctl --help";
    return false;
  }
  Parser p(cmd, error);
  std::vector<std::string> pos;
  for (size_t i = 1; i < words.size(); ++i) {
    const std::string& w = words[i];
    if (w == "--help" || w == "-h") {
      cmd.help = true;
      return true;
    }
  }
  for (size_t i = 1; i < words.size(); ++i) {
    std::string w = words[i];
    std::string value;
    bool hasValue = false;
    if (w.rfind("--", 0) == 0) {
      const size_t eq = w.find('=');
      if (eq != std::string::npos) {
        value = w.substr(eq + 1);
        w = w.substr(0, eq);
        hasValue = true;
      }
      const bool takesValue = (cmd.verb == "scan" && (w == "--depth" || w == "--assign")) ||
                              (cmd.verb == "list" && w == "--format");
      if (!takesValue) return p.Fail("unknown option " + Quoted(w));
      if (!hasValue) {
        if (i + 1 >= words.size()) return p.Fail("option " + w + " needs a value");
        value = words[++i];
      }
      long v = 0;
      if (w == "--depth") {
        if (!ParseInt(value, v) || v < kMinDepth || v > kMaxDepth)
          return p.Fail("--depth takes a number from 1 to 17, not " + Quoted(value));
        cmd.depth = static_cast<int>(v);
      } else if (w == "--assign") {
        if (value != "0" && value != "1")
          return p.Fail("--assign takes 0 or 1, not " + Quoted(value));
        cmd.assign = value == "1" ? 1 : 0;
      } else {
        const std::string format = LowerCase(value);
        if (format == "text") {
          cmd.format = TableFormat::kText;
        } else if (format == "csv") {
          cmd.format = TableFormat::kCsv;
        } else if (format == "json") {
          cmd.format = TableFormat::kJson;
        } else {
          return p.Fail("--format takes text, csv or json, not " + Quoted(value));
        }
      }
      continue;
    }
    pos.push_back(w);
  }

  const std::string& v = cmd.verb;
  if (v == "scan" || v == "refresh" || v == "list" || v == "port" || v == "close-port") {
    return Count(p, pos, 0, verb->usage);
  }
  if (v == "add") {
    if (!Count(p, pos, 2, verb->usage)) return false;
    const std::string vendor = UpperCase(pos[0]);
    if (vendor.size() != 2 || !std::isalnum(static_cast<unsigned char>(vendor[0])) ||
        !std::isalnum(static_cast<unsigned char>(vendor[1])))
      return p.Fail("vendor code " + Quoted(vendor) + " is not two letters or digits");
    if (pos[1].empty() || pos[1].size() > 17)
      return p.Fail("serial number must have 1 to 17 characters");
    for (unsigned char c : pos[1]) {
      if (c < 0x21 || c > 0x7E)
        return p.Fail("serial number " + Quoted(pos[1]) + " has characters a device cannot send");
    }
    cmd.vendor = vendor;
    cmd.serial = pos[1];
    return true;
  }
  if (v == "selftest" || v == "reset" || v == "poll") {
    return Count(p, pos, 1, verb->usage) && p.Address(pos[0]);
  }
  if (v == "report") {
    if (!Count(p, pos, 1, verb->usage)) return false;
    if (pos[0].empty()) return p.Fail("empty file name");
    cmd.files.push_back(pos[0]);
    return true;
  }
  if (v == "calibrate") {
    return Count(p, pos, 2, verb->usage) && p.Address(pos[0]) && p.Subunit(pos[1]);
  }
  if (v == "configure") {
    if (!(Count(p, pos, 3, verb->usage) && p.Address(pos[0]) && p.Subunit(pos[1]) &&
          p.ReadableFile(pos[2])))
      return false;
    const std::string problem = HexConfigurationProblem(pos[2]);
    return problem.empty() || p.Fail(problem);
  }
  if (v == "download") {
    if (pos.size() < 2)
      return p.Fail("missing arguments; usage: aldctl " + std::string(verb->usage));
    if (!p.Address(pos[0])) return false;
    if (pos.size() - 1 > static_cast<size_t>(kMaxDownloadFiles))
      return p.Fail("a device takes at most " + std::to_string(kMaxDownloadFiles) +
                    " files in one download, not " + std::to_string(pos.size() - 1));
    for (size_t i = 1; i < pos.size(); ++i) {
      // The library takes the files as one comma-separated list.
      if (pos[i].find(',') != std::string::npos)
        return p.Fail("file names with a comma cannot be downloaded: " + pos[i]);
      if (!p.ReadableFile(pos[i])) return false;
    }
    return true;
  }
  // The commands with an action word.
  if (pos.empty()) return p.Fail("missing action; usage: aldctl " + std::string(verb->usage));
  cmd.action = pos[0];
  pos.erase(pos.begin());
  const std::string& a = cmd.action;
  auto badAction = [&]() {
    return p.Fail("unknown action " + Quoted(a) + "; usage: aldctl " + verb->usage);
  };

  if (v == "power" || v == "ab") {
    if (a == "get") return Count(p, pos, 0, verb->usage);
    if (a != "set") return badAction();
    if (!Count(p, pos, 1, verb->usage)) return false;
    const std::string w = LowerCase(pos[0]);
    if (v == "power" && (w == "on" || w == "1")) {
      cmd.value = 1;
    } else if (v == "power" && (w == "off" || w == "0")) {
      cmd.value = 0;
    } else if (v == "ab" && (w == "0" || w == "1")) {
      cmd.value = w == "1";
    } else {
      return p.Fail(Quoted(w) + " is not " + (v == "power" ? "on or off" : "0 or 1"));
    }
    return true;
  }
  if (v == "version") {
    if (a != "switch") return badAction();
    if (!Count(p, pos, 2, verb->usage)) return false;
    if (pos[0].size() != 2 || !std::isalnum(static_cast<unsigned char>(pos[0][0])) ||
        !std::isalnum(static_cast<unsigned char>(pos[0][1])))
      return p.Fail("vendor code " + Quoted(pos[0]) + " is not two letters or digits");
    if (pos[1] != "1" && pos[1] != "2")
      return p.Fail("AISG version must be 1 or 2, not " + Quoted(pos[1]));
    cmd.vendor = UpperCase(pos[0]);
    cmd.value = pos[1] == "1" ? 1 : 2;
    return true;
  }
  if (v == "tilt" || v == "gain" || v == "mode") {
    if (a == "get") return Count(p, pos, 2, verb->usage) && p.Address(pos[0]) && p.Subunit(pos[1]);
    if (a != "set") return badAction();
    if (!Count(p, pos, 3, verb->usage) || !p.Address(pos[0]) || !p.Subunit(pos[1])) return false;
    const std::string& w = pos[2];
    long value = 0;
    if (v == "tilt") {
      // "4.50" is as good as "4.5": zeros after the tenths change nothing.
      if (!ParseScaled(WithoutTrailingZeros(w), 1, value))
        return p.Fail("tilt " + Quoted(w) + " is not a number of degrees with at most one decimal");
      if (value < -kMaxTiltTenths || value > kMaxTiltTenths)
        return p.Fail("tilt " + Quoted(w) + " is outside -90.0 to 90.0 degrees");
    } else if (v == "gain") {
      long hundredths = 0;
      if (!ParseScaled(WithoutTrailingZeros(w), 2, hundredths) || hundredths % 25 != 0)
        return p.Fail("gain " + Quoted(w) + " is not a number of dB in quarter steps (e.g. 12.25)");
      value = hundredths / 25;
      if (value < 0 || value > kMaxGainQuarters)
        return p.Fail("gain " + Quoted(w) + " is outside 0 to 63.75 dB");
    } else {
      const std::string mode = LowerCase(w);
      if (mode == "normal" || mode == "0") {
        value = 0;
      } else if (mode == "bypass" || mode == "1") {
        value = 1;
      } else {
        return p.Fail("mode " + Quoted(w) + " is not normal or bypass");
      }
    }
    cmd.value = value;
    return true;
  }
  if (v == "alarms") {
    if (a != "get" && a != "clear") return badAction();
    return Count(p, pos, 2, verb->usage) && p.Address(pos[0]) && p.Subunit(pos[1]);
  }
  if (v == "data") {
    if (a != "get" && a != "set") return badAction();
    if (pos.size() < 2)
      return p.Fail("missing arguments; usage: aldctl " + std::string(verb->usage));
    if (!p.Address(pos[0]) || !p.Subunit(pos[1])) return false;
    if (a == "get") {
      for (size_t i = 2; i < pos.size(); ++i) {
        const int index = FindTableField(pos[i]);
        if (index < 0) return p.Fail("no table field is named " + Quoted(pos[i]));
        cmd.data.emplace_back(index, "");
      }
      return true;
    }
    if (pos.size() < 4 || pos.size() % 2 != 0)
      return p.Fail("data set takes NAME VALUE pairs; usage: aldctl " + std::string(verb->usage));
    for (size_t i = 2; i < pos.size(); i += 2) {
      const int index = FindTableField(pos[i]);
      if (index < 0) return p.Fail("no table field is named " + Quoted(pos[i]));
      const WritableField* field = FindWritableField(index);
      if (field == nullptr) return p.Fail(Quoted(TableFieldName(index)) + " cannot be written");
      for (const auto& d : cmd.data) {
        if (d.first == index) return p.Fail(Quoted(TableFieldName(index)) + " is given twice");
      }
      const std::string problem = CheckValue(*field, pos[i + 1]);
      if (!problem.empty()) return p.Fail(problem);
      cmd.data.emplace_back(index, pos[i + 1]);
    }
    return true;
  }
  return p.Fail("unhandled command");
}

}  // namespace

bool ParseInvocation(const std::vector<std::string>& args, Invocation& inv, std::string& error) {
  size_t i = 0;
  for (; i < args.size(); ++i) {
    const std::string& w = args[i];
    if (w == "--help" || w == "-h") {
      inv.help = true;
      return true;
    }
    if (w == "--version") {
      inv.version = true;
      return true;
    }
    if (w == "--trace" || w == "--lib") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        error = w + " needs a file name";
        return false;
      }
      (w == "--trace" ? inv.traceFile : inv.library) = args[++i];
      continue;
    }
    if (w.rfind("--trace=", 0) == 0 || w.rfind("--lib=", 0) == 0) {
      const std::string value = w.substr(w.find('=') + 1);
      if (value.empty()) {
        error = w.substr(0, w.find('=')) + " needs a file name";
        return false;
      }
      (w[2] == 't' ? inv.traceFile : inv.library) = value;
      continue;
    }
    if (w.rfind("-", 0) == 0 && w != "+") {
      error = "unknown option \"" + w + "\"; see aldctl --help";
      return false;
    }
    break;
  }
  if (i < args.size() && args[i] == "help") {
    inv.help = true;
    if (i + 1 < args.size()) inv.helpVerb = args[i + 1];
    if (!inv.helpVerb.empty() && FindVerb(inv.helpVerb) == nullptr) {
      error = "unknown command \"" + inv.helpVerb + "\"; see aldctl --help";
      return false;
    }
    return true;
  }
  if (i == args.size()) {
    error = "no command given; see aldctl --help";
    return false;
  }
  std::vector<std::string> words;
  for (; i <= args.size(); ++i) {
    if (i == args.size() || args[i] == "+") {
      if (words.empty()) {
        error = "empty command around \"+\"";
        return false;
      }
      Command cmd;
      if (!ParseCommand(words, cmd, error)) return false;
      inv.commands.push_back(std::move(cmd));
      words.clear();
      continue;
    }
    words.push_back(args[i]);
  }
  return true;
}

bool WriteHelp(FILE* out, const std::string& verb) {
  if (verb.empty()) {
    std::fprintf(out,
                 "usage: aldctl [--trace FILE] [--lib PATH] COMMAND [ARGS] [+ COMMAND [ARGS]]...\n"
                 "Controls the antenna line devices (RET antennas, TMAs) behind the adapter\n"
                 "through the flat interface library libaldglue.so.\n\n"
                 "Commands:\n");
    for (const VerbHelp& v : kVerbs) std::fprintf(out, "  %s\n", v.usage);
    std::fprintf(out,
                 "  help [COMMAND]\n\n"
                 "Every run starts with an empty device list: run scan (or add) first and\n"
                 "chain the other commands after it with a lone \"+\", for example\n"
                 "  aldctl scan + list --format json + tilt set 1 2 4.5\n"
                 "The commands run in order; the first failure ends the run.\n\n"
                 "Options:\n"
                 "  --trace FILE  write the library's trace to FILE (default: discarded)\n"
                 "  --lib PATH    load the interface library from PATH (default: beside\n"
                 "                aldctl, then the normal library search path)\n"
                 "  --help        this text; COMMAND --help shows a command's help\n\n"
                 "  --version     the program's version\n\n"
                 "Environment: ALDLINK_SIM=SITE runs against simulated devices of a site\n"
                 "file; ALDLINK_SIM_CLOCK=virtual runs that simulated line on a virtual clock\n"
                 "(no real waits); ALDLINK_PORT=PATH uses that serial port (e.g. the terminal\n"
                 "of aldsim).\n\n"
                 "Standard output carries only what a command prints (tables, values);\n"
                 "summaries, progress and messages go to standard error. In CSV, a text that\n"
                 "a spreadsheet would run as a formula (starting with =, +, -, @, tab or\n"
                 "carriage return, unless it is a plain number) gets a leading single quote;\n"
                 "bytes outside printable ASCII are written as \\xNN in text and CSV. Fields\n"
                 "never read from a device are empty (null in JSON).\n\n"
                 "Exit status: 0 success; 1 an operation failed (its result number and meaning\n"
                 "are shown) or the output could not be written; 2 bad arguments; 3 the\n"
                 "library or one of its functions is missing; 4 no such device in this run's\n"
                 "device table, or no device found; 5 no adapter, or its port cannot be used;\n"
                 "6 the ALDLINK_SIM site file cannot be used.\n");
    return true;
  }
  const VerbHelp* v = FindVerb(verb);
  if (v == nullptr) return false;
  std::fprintf(out, "usage: aldctl %s\n%s", v->usage, v->text);
  return true;
}

}  // namespace aldctl
