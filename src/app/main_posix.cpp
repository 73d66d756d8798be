#include "app/probe_driver.h"
#include "app/process_objects.h"

int main() { return RunProbeDriver(processObjects.link, processObjects.pcscReaders); }
