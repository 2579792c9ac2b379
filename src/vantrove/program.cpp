#include "vantrove/main.h"

int main(int argc, char** argv) {
  vantrove::KRMain(argc, argv);
}
