/* A loadable library that exports no entry point. */
int fxaa_test_not_a_plugin(void) { return 1; }
