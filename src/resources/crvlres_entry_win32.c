/* The library's own entry point: there is nothing to set up or tear down, and no C
 * run-time library is linked. */
int __stdcall CrvlresEntry(void* module, unsigned long reason, void* reserved) {
  (void)module;
  (void)reason;
  (void)reserved;
  return 1;
}
