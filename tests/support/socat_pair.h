// A socat pseudo-terminal pair for the serial tests: the code under test opens `near` as its
// COM port, the test plays the far end through `far`; killing socat takes the line away as an
// unplugged adapter does. socat ends with the test however the test ends, so no stray socat
// holds the test's output open after it.
#pragma once

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

class SocatPair {
public:
  explicit SocatPair(const std::string& folder) : near(folder + "/near"), far(folder + "/far")
  {
    // Built before the fork: the child does nothing but exec.
    const std::string a = "pty,raw,echo=0,link=" + near;
    const std::string b = "pty,raw,echo=0,link=" + far;
    pid_ = fork();
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      execlp("socat", "socat", a.c_str(), b.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 500 && !ok(); ++i)  // a first start from a cold disk is slow
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ~SocatPair() { kill_socat(); }
  SocatPair(const SocatPair&) = delete;
  SocatPair& operator=(const SocatPair&) = delete;

  bool ok() const { return pid_ > 0 && std::filesystem::exists(near) && std::filesystem::exists(far); }
  void kill_socat()
  {
    if (pid_ <= 0)
      return;
    ::kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  const std::string near, far;

private:
  pid_t pid_ = -1;
};
