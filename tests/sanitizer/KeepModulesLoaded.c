/* Preloaded into the test programs of the sanitizer suite (scripts/test-sanitizers.sh): dlclose leaves every module
 * loaded until the process ends. The system's own libraries unload modules before exit (SDL's video quit closes the
 * OpenGL driver it opened), and memory that such a module still referred to then looks leaked, from frames the leak
 * checker can only call "<unknown module>". Kept loaded, those blocks stay reachable from the module's data, and
 * every frame of a real leak has a name. It hides nothing of ours: our code never unloads a module.
 * Built without sanitizer instrumentation, since it is preloaded into uninstrumented programs (ctest) as well. */
int dlclose(void* handle) {
    (void)handle;
    return 0;
}
