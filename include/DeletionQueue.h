// The per-user queue of temporary files and directories that a later start of
// the launcher deletes.
#pragma once

// Writes this run's registered temporary directories to the queue.
void queueRegisteredTemps();
