#include "cli/editorconfig.h"

#include <cstdlib>
#include <cstring>

#ifdef RAVOLIN_HAVE_EDITORCONFIG
#include <editorconfig/editorconfig.h>
#endif

namespace ravolin {

#ifdef RAVOLIN_HAVE_EDITORCONFIG

namespace {

// A whole number from 1 to 40, or 0.
int tab_size_of(const char* value) {
    char* end = nullptr;
    const long n = std::strtol(value, &end, 10);
    return end != value && *end == '\0' && n >= 1 && n <= 40 ? static_cast<int>(n) : 0;
}

// Frees the library's handle on every way out.
class Handle {
public:
    Handle() : h_(editorconfig_handle_init()) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (h_) editorconfig_handle_destroy(h_);
    }
    editorconfig_handle get() const { return h_; }

private:
    editorconfig_handle h_;
};

}  // namespace

bool editorconfig_supported() { return true; }

bool editorconfig_style(const char* path, EditorStyle* style, std::string* error) {
    *style = EditorStyle{};
    Handle h;
    if (!h.get()) {
        *error = "editorconfig: out of memory";
        return false;
    }
    const int r = editorconfig_parse(path, h.get());
    if (r != 0) {
        // A positive result is the line of a file the library could not parse.
        const char* file = editorconfig_handle_get_err_file(h.get());
        *error = r > 0 ? std::string("editorconfig: cannot parse ") + (file ? file : ".editorconfig") + " line " +
                             std::to_string(r)
                       : std::string("editorconfig: ") + editorconfig_get_error_msg(r);
        return false;
    }
    int tab_width = 0, indent_size = 0;
    const int count = editorconfig_handle_get_name_value_count(h.get());
    for (int i = 0; i < count; ++i) {
        const char* name = nullptr;
        const char* value = nullptr;
        editorconfig_handle_get_name_value(h.get(), i, &name, &value);
        if (!name || !value) continue;
        if (std::strcmp(name, "tab_width") == 0) tab_width = tab_size_of(value);
        else if (std::strcmp(name, "indent_size") == 0) indent_size = tab_size_of(value);
        else if (std::strcmp(name, "indent_style") == 0) style->spaces = std::strcmp(value, "space") == 0;
    }
    style->tab_size = tab_width != 0 ? tab_width : indent_size;
    return true;
}

#else

bool editorconfig_supported() { return false; }

bool editorconfig_style(const char*, EditorStyle* style, std::string*) {
    *style = EditorStyle{};
    return true;
}

#endif

}  // namespace ravolin
