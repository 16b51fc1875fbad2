// Entry point of the stress tool. The run sequence itself lives in the
// driver library so that tests can run it in-process.
#include <cstdio>

int main() {
  std::fputs(
      "*******************************************************************************\n"
      "*                                                                             *\n"
      "*                    Welcome to the YEB Stress Test Program                   *\n"
      "*                                                                             *\n"
      "*******************************************************************************\n\n\n",
      stdout);
  return 0;
}
