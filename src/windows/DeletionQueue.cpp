// The deferred deletion queue.
#include "DeletionQueue.h"

// This run registers no temporary directory yet, so there is nothing to queue.
void queueRegisteredTemps() {}
