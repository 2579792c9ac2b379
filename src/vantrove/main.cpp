// The process entry of vantrove.
#include "vantrove/driver.h"

int main(int argc, char** argv) {
  vantrove::KRMain(argc, argv);
}
