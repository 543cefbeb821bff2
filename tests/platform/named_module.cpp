// A module that answers its own name; built twice, as "first" and "second",
// under the same symbol.
extern "C" __attribute__((visibility("default"))) const char* talvenor_test_module_name() { return MODULE_NAME; }
