// A stand-in interface library that exports only the two process-status
// functions, as an old or damaged libaldglue.so might.
#define EXPORT extern "C" __attribute__((visibility("default")))

static int status_word = 0;

EXPORT int setProcessStatus(int, int status) {
  status_word = status;
  return 0;
}

EXPORT int getProcessStatus(int, int* status) {
  if (status == nullptr) return -1800;
  *status = status_word;
  return 0;
}
