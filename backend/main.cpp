// The backend program: runs the INI job file named by its one argument.
#include "backend/job_runner.h"
#include "backend/stack_client.h"

#include <cstdio>

int main(int argc, char** argv)
{
  if (argc < 2 || argv[1][0] == '\0') {
    std::puts("no config file");
    return 0;
  }
  BACnetStackClient client;
  JobRunner runner(client);
  runner.Run(argv[1]);
  return 0;
}
