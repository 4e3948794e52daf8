// A module that opens but names its entry differently: the program must
// refuse it, not call through a null entry.
extern "C" int lumenary_show_panel() {
    return 0;
}
