// Fontconfig keeps caches for the life of the process that Qt's offscreen
// fonts load; the leak checker of sanitizer builds would count them as ours.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig\n";
}
