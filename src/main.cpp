// kest: one operation on a numeric ASCII data file per run.
#include "driver/kest.h"

int main(int argc, char** argv) { return kest::main_entry(argc, argv); }
