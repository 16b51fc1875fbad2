#include <cstdio>
int main() {
  std::fputs("configsql: not built yet\n", stderr);
  return 2;
}
