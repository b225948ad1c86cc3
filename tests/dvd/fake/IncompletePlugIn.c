/* A plug-in that starts but lacks DVDGetLibVersion and the title-stream functions. */
int DVDInitialize(void) {
    return 1;
}
int DVDEnumTitle(const char* path) {
    return path ? 1 : 0;
}
int DVDGetTitle(int index, void* info) {
    return index == 0 && info != 0;
}
int DVDSetParam(const void* param) {
    return param != 0;
}
