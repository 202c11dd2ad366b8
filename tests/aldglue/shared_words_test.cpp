// The process status and download size words as other processes see them:
// a helper program loads the library by path, binds the word functions by
// name and reads or writes them.
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "aldglue/aldglue.h"
#include "gtest/gtest.h"

extern char** environ;

namespace gluetest {
namespace {

struct PeerRun {
  int exitCode = -1;
  std::string out;
};

// Runs the helper with `args`; `shmName` null keeps this process's
// environment, else ALDGLUE_SHM_NAME is set to it.
PeerRun Peer(const std::vector<std::string>& args, const char* shmName) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    if (shmName != nullptr && std::strncmp(*e, "ALDGLUE_SHM_NAME=", 17) == 0) continue;
    env.emplace_back(*e);
  }
  if (shmName != nullptr) env.push_back(std::string("ALDGLUE_SHM_NAME=") + shmName);
  std::vector<char*> envp;
  for (std::string& s : env) envp.push_back(s.data());
  envp.push_back(nullptr);

  std::vector<std::string> all = {ALDGLUE_PEER, ALDGLUE_LIBRARY};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : all) argv.push_back(s.data());
  argv.push_back(nullptr);

  PeerRun run;
  int pipeFd[2];
  if (pipe(pipeFd) != 0) return run;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFd[1], 1);
  posix_spawn_file_actions_addclose(&actions, pipeFd[0]);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, ALDGLUE_PEER, &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFd[1]);
  if (spawned == 0) {
    char buffer[256];
    ssize_t n;
    while ((n = read(pipeFd[0], buffer, sizeof buffer)) > 0) run.out.append(buffer, n);
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  }
  close(pipeFd[0]);
  return run;
}

std::string Read(const char* shmName) {
  PeerRun run = Peer({"get"}, shmName);
  EXPECT_EQ(run.exitCode, 0);
  return run.out;
}

// A name no other test run uses; the object is removed afterwards.
class ScratchName {
 public:
  explicit ScratchName(const char* tag) {
    std::snprintf(name_, sizeof name_, "/aldglue-test-%s-%d", tag, static_cast<int>(getpid()));
    shm_unlink(name_);
  }
  ~ScratchName() { shm_unlink(name_); }
  const char* get() const { return name_; }

 private:
  char name_[64];
};

TEST(SharedWords, ZeroUntilWrittenThenSeenByEveryProcessOfTheSameName) {
  ScratchName a("a");
  ScratchName b("b");
  EXPECT_EQ(Read(a.get()), "status=0 size=0\n");

  EXPECT_EQ(Peer({"set", "1001", "43100"}, a.get()).exitCode, 0);
  // The writer has ended; the words outlive it for later readers.
  EXPECT_EQ(Read(a.get()), "status=1001 size=43100\n");
  EXPECT_EQ(Read(b.get()), "status=0 size=0\n");

  EXPECT_EQ(Peer({"set", "1000", "-1"}, a.get()).exitCode, 0);
  EXPECT_EQ(Read(a.get()), "status=1000 size=-1\n");
}

TEST(SharedWords, ThisProcessAndAChildShareTheWords) {
  const char* name = std::getenv("ALDGLUE_SHM_NAME");
  if (name == nullptr || std::strncmp(name, "/aldglue-tests-", 15) != 0) {
    GTEST_SKIP() << "run through ctest: the words of this process must not be the user's own";
  }
  ASSERT_EQ(setProcessStatus(4242, 1001), 0);
  ASSERT_EQ(setDownloadFileSize(15000), 0);
  EXPECT_EQ(Read(nullptr), "status=1001 size=15000\n");

  ASSERT_EQ(Peer({"set", "1000", "7"}, nullptr).exitCode, 0);
  int status = -1;
  int size = -1;
  EXPECT_EQ(getProcessStatus(4242, &status), 0);
  EXPECT_EQ(getDownloadFileSize(&size), 0);
  EXPECT_EQ(status, 1000);
  EXPECT_EQ(size, 7);

  EXPECT_EQ(getProcessStatus(0, nullptr), kAldglueFailure);
  EXPECT_EQ(getDownloadFileSize(nullptr), kAldglueFailure);
  shm_unlink(name);
}

}  // namespace
}  // namespace gluetest
