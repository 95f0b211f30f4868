// ravolin-cli: the conversion engine and the batch run for a terminal.
//   ravolin-cli [-t TABSIZE] [FILESPEC]   one batch run, report on stdout
//   ravolin-cli [-t TABSIZE] -            filter: stdin to stdout
#include <cstdio>
#include <cstring>

#include "app/cli_batch.h"
#include "app/stdio_streams.h"
#include "base/version.h"
#include "engine/engine.h"

namespace {

const char kUsage[] =
    "usage: ravolin-cli [-t TABSIZE] [FILESPEC]\n"
    "       ravolin-cli [-t TABSIZE] -\n"
    "       ravolin-cli --help | --version\n"
    "\n"
    "Rewrites C source files in place so that runs of spaces become tabs while\n"
    "every character after a run keeps its display column. Spaces inside string\n"
    "literals are never touched; Shift-JIS characters are never split.\n"
    "\n"
    "  FILESPEC     wildcard file pattern (default " RAVOLIN_DEFAULT_PATTERN ").\n"
    "               Each matching file is first copied to NAME.bak; a file whose\n"
    "               backup already exists is refused and left alone.\n"
    "  -            filter mode: convert standard input to standard output;\n"
    "               \"N tabs, M dots\" goes to standard error.\n"
    "  -t TABSIZE   tab size, 1 to 40 (default 4); read like the window's box:\n"
    "               \"abc\" gives 1, \"99\" gives 40.\n"
    "\n"
    "Exit status: 0 when no file was refused or failed, 1 when one was,\n"
    "2 for a usage error.\n";

int filter(int tab_size) {
    using namespace ravolin;
    set_binary_mode(stdin);
    set_binary_mode(stdout);
    FileSource src(stdin);
    FileSink sink(stdout);
    static TextReader reader(src);   // large buffers: keep them off the stack
    static TextWriter writer(sink);
    static EngineState st;
    st.in = &reader;
    st.out = &writer;
    st.tab_size = tab_size;
    int tabs = convert_file(st);
    bool ok = writer.flush() && std::fflush(stdout) == 0;
    if (reader.failed()) {
        std::fprintf(stderr, "ravolin-cli: error reading standard input\n");
        return 1;
    }
    if (!ok) {
        std::fprintf(stderr, "ravolin-cli: error writing standard output\n");
        return 1;
    }
    std::fprintf(stderr, "%d tabs, %d dots\n", tabs, st.dots);
    return 0;
}

int usage_error(const char* what) {
    std::fprintf(stderr, "ravolin-cli: %s\n%s", what, kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const char* tab_text = "4";
    const char* pattern = nullptr;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(a, "--version") == 0) {
            std::puts("ravolin-cli " RAVOLIN_VERSION);
            return 0;
        }
        if (std::strcmp(a, "-t") == 0) {
            if (++i >= argc) return usage_error("-t needs a tab size");
            tab_text = argv[i];
        } else if (std::strncmp(a, "-t", 2) == 0) {
            tab_text = a + 2;
        } else if (std::strcmp(a, "--") == 0) {
            if (i + 1 < argc) {
                if (pattern || i + 2 < argc) return usage_error("only one file pattern");
                pattern = argv[i + 1];
            }
            break;
        } else if (a[0] == '-' && a[1] != '\0') {
            return usage_error("unknown option");
        } else {
            if (pattern) return usage_error("only one file pattern");
            pattern = a;
        }
    }
    if (pattern && std::strcmp(pattern, "-") == 0) return filter(ravolin::parse_tab_size(tab_text));
    return ravolin::cli_batch(pattern ? pattern : RAVOLIN_DEFAULT_PATTERN, tab_text);
}
