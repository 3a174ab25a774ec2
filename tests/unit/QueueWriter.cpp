// Schedules entries for deletion when told to start, as launchers started at
// the same moment do. Used by deletion_queue_test.
//
//   queue_writer EVENT PREFIX COUNT SOFTWARE_KEY
//
// waits for the named event, then schedules PREFIX0 ... PREFIX<COUNT-1> in
// "delete_file" of the queue below SOFTWARE_KEY (the test's registry root).
// Exit code 0 when it got the signal, 2 on bad arguments.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "DeletionQueue.h"
#include "RegistryKeysInternal.h"

int main(int argc, char** argv) {
  if (argc != 5) return 2;
  setSoftwareKeyBaseForTests(argv[4]);
  HANDLE start = OpenEventA(SYNCHRONIZE, FALSE, argv[1]);
  if (start == nullptr) return 3;
  // Bounded so that a broken test never leaves this process behind.
  if (WaitForSingleObject(start, 60000) != WAIT_OBJECT_0) return 4;
  int count = atoi(argv[3]);
  for (int i = 0; i < count; ++i) {
    std::string entry = argv[2] + std::to_string(i);
    scheduleForDeletion(entry.c_str(), "delete_file");
  }
  return 0;
}
