// The command runner on its own: /bin/sh plays every command, so each row costs milliseconds.
#include "hidden_command.h"

#include <gtest/gtest.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fstream>
#include <stdexcept>

#include "test_support.h"

namespace {

using namespace std::chrono_literals;

struct RunCase {
  const char* name;
  std::string program;
  // Run as /bin/sh -c <script> <file>: a script writes its own id and the one it started ($$ $!) to "$0".
  std::string script;
  // What the run said: the failure as described, or the error thrown.
  std::string said;
  bool endAllItStarted = false;
  bool giveUpWaiting = false;
  // Whether the process the command started still runs after the wait.
  bool startedLives = false;
};

const RunCase kRunCases[] = {
    {"a_flood_of_output_with_exit_1", "/bin/sh", "echo; seq -f \"line %04g $(printf %0149d 0)#|\" 3000; exit 1",
     "\"/bin/sh\" -c \"echo; seq *\" * ended with exit code 1. Its output began:\n    line 0001 *0#...\n"
     "    line 0002 *#...\n    line 0003 *#...\n    line 0004 *#...\n    line 0005 *#...\n    line 0006 *#...\n"
     "    (and more)"},
    {"the_first_lines_shown_and_the_rest_counted", "/bin/sh",
     "printf 'one\\r\\n\\n\\ttwo \\0!\\n'; seq 3 9 >&2; exit 3",
     "\"/bin/sh\" -c \"printf 'one\\r\\n\\n\\ttwo \\0!\\n'; seq 3 9 >&2; exit 3\" * ended with exit code 3. Its output "
     "began:\n    one\n    \ttwo ?!\n    3\n    4\n    5\n    6\n    (and 3 more lines)"},
    {"a_child_that_keeps_the_output_open", "/bin/sh", "sleep 3 & echo $$ $! > \"$0\"; echo started",
     "* ended with exit code 0. Its output began:\n    started", false, false, true},
    {"a_command_ended_by_a_signal", "/bin/sh", "kill -TERM $$", "* ended with exit code 143. It wrote nothing."},
    {"a_program_that_does_not_exist", "/no/such/program", "exit 0",
     "Cannot start \"/no/such/program\" -c \"exit 0\" *: No such file or directory"},
    {"the_limit_ends_the_command_and_not_a_server_it_started", "/bin/sh", "sleep 3 & echo $$ $! > \"$0\"; exec sleep 3",
     "* did not end within 100 ms, so it was ended.", false, false, true},
    {"the_limit_ends_all_a_probe_started", "/bin/sh", "sleep 3 & echo $$ $! > \"$0\"; exec sleep 3",
     "* did not end within 100 ms, so it was ended.", true},
    {"a_wait_given_up_ends_and_reaps_the_command", "/bin/sh", "echo $$ > \"$0\"; exec sleep 3", "the window is gone",
     false, true},
};

// Whether the process runs: a zombie has ended, and one that is gone too.
bool Running(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string id, name, state;
  return stat >> id >> name >> state && state != "Z";
}

class Run : public testing::TestWithParam<RunCase> {};

TEST_P(Run, EndsAsTheCommandDid) {
  const RunCase& c = GetParam();
  TempDir dir;
  const std::string pids = dir / "pids";
  const Command command{c.program, {"-c", c.script, pids}, c.endAllItStarted};
  const auto begun = std::chrono::steady_clock::now();
  const auto whileWaiting = [&] {
    if (c.giveUpWaiting) throw std::runtime_error("the window is gone");
  };
  std::string said;
  try {
    said = DescribeFailure(command, RunHiddenAndWait(command, whileWaiting, 100ms));
  } catch (const std::runtime_error& error) {
    said = error.what();
  }
  // Every command sleeps for longer, or starts one that does: none is waited for.
  EXPECT_LT(std::chrono::steady_clock::now() - begun, 2s);
  EXPECT_TRUE(Matches(said, c.said)) << said;

  pid_t own = 0, started = 0;
  if (!(std::ifstream(pids) >> own)) return;
  // Reaped: not even a zombie is left of it.
  EXPECT_TRUE(kill(own, 0) != 0 && errno == ESRCH);
  if (std::ifstream(pids) >> own >> started) {
    // SIGKILL takes effect a moment after it is sent.
    for (int tries = 0; tries < 100 && Running(started) != c.startedLives; ++tries) usleep(10000);
    EXPECT_EQ(Running(started), c.startedLives);
    kill(started, SIGKILL);
  }
}

INSTANTIATE_TEST_SUITE_P(HiddenCommand, Run, testing::ValuesIn(kRunCases),
                         [](const testing::TestParamInfo<RunCase>& info) { return info.param.name; });

}  // namespace
