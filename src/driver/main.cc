#include "driver/driver.h"

int main(int argc, char** argv) {
  return veltrim::run_veltrim(argc, argv);
}
