/* A plug-in whose start-up fails. */
int DVDInitialize(void) {
    return 0;
}
int DVDEnumTitle(const char* path) {
    return path ? 1 : 0;
}
