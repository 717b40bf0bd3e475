#include "app/Startup.h"

int main(int argc, char** argv) {
    return larkspan::RunLarkspan(argc, argv);
}
