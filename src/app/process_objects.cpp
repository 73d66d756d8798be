#include "app/process_objects.h"

ProcessObjects processObjects;
