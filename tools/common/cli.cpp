// The builder of cli.h over CLI11: the one file that compiles CLI11.
#include "common/cli.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <sstream>

namespace {

std::string shown(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

// The value as a finite number, or false.
bool finite(const std::string& text, double* v) {
    char* end = nullptr;
    errno = 0;
    *v = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0' && errno != ERANGE && std::isfinite(*v);
}

constexpr size_t kPageWidth = 100;
constexpr size_t kOptionColumn = 24;

// Words of `text` in lines of at most `width` characters.
std::string wrapped(const std::string& text, size_t width) {
    std::istringstream words(text);
    std::string out, line;
    for (std::string word; words >> word;) {
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            out += line + "\n";
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
    }
    return out + line;
}

// CLI11's layout with the descriptions wrapped to the page.
class WrappingFormatter : public CLI::Formatter {
public:
    std::string make_description(const CLI::App* app) const override {
        return wrapped(app->get_description(), kPageWidth) + "\n\n";
    }
    std::string make_option_desc(const CLI::Option* option) const override {
        return wrapped(option->get_description(), kPageWidth - kOptionColumn);
    }
};

// --version, the help layout, and the footer.
void setUp(CLI::App* app) {
    app->set_version_flag("--version", app->get_name() + " (slscan) " + cliVersion(),
                          "Print the version and exit");
    app->set_help_flag("-h,--help", "Print this usage and exit");
    auto formatter = std::make_shared<WrappingFormatter>();
    formatter->column_width(kOptionColumn);
    app->formatter(formatter);
    app->footer("Exit status: 0 done, 1 a fault in the data, 2 a usage error.");
}

int parseApp(CLI::App* app, int argc, char** argv) {
    try {
        app->parse(argc, argv);
        return -1;
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) {  // --help or --version
            app->exit(e, std::cout, std::cout);
            return 0;
        }
        std::cerr << app->get_name() << ": " << e.what() << " (see " << app->get_name()
                  << " --help)" << std::endl;
        return 2;
    }
}

CLI::Validator wholeCheck(long long lo, long long hi) {
    const std::string range = hi == LLONG_MAX ? "of at least " + std::to_string(lo)
                                              : "from " + std::to_string(lo) + " to " + std::to_string(hi);
    return CLI::Validator(
        [lo, hi, range](std::string& text) -> std::string {
            char* end = nullptr;
            errno = 0;
            const long long v = std::strtoll(text.c_str(), &end, 10);
            if (text.empty() || *end != '\0' || errno == ERANGE || v < lo || v > hi)
                return "must be a whole number " + range + ", got \"" + text + "\"";
            return "";
        },
        "");
}

CLI::Validator numberCheck(double lo, double hi) {
    const std::string range = std::isinf(hi) ? "of at least " + shown(lo)
                                             : "from " + shown(lo) + " to " + shown(hi);
    return CLI::Validator(
        [lo, hi, range](std::string& text) -> std::string {
            double v = 0;
            if (!finite(text, &v) || v < lo || v > hi)
                return "must be a number " + range + ", got \"" + text + "\"";
            return "";
        },
        "");
}

CLI::Validator aboveCheck(double lo) {
    return CLI::Validator(
        [lo](std::string& text) -> std::string {
            double v = 0;
            if (!finite(text, &v) || v <= lo)
                return "must be a number above " + shown(lo) + ", got \"" + text + "\"";
            return "";
        },
        "");
}

}  // namespace

const char* cliVersion() { return SLSCAN_VERSION; }

// The builder: a CLI::App behind the tools' small interface.
struct CliCommand {
    CLI::App app;
    CliCommand(const std::string& description, const std::string& name) : app(description, name) {}
};

void CliCommandDeleter::operator()(CliCommand* command) const { delete command; }

namespace {

std::string withDefault(const std::string& help, const std::string& shownDefault) {
    return shownDefault.empty() ? help : help + " (default " + shownDefault + ")";
}

}  // namespace

CliPtr cliMake(const std::string& name, const std::string& description) {
    CliPtr command(new CliCommand(description, name));
    setUp(&command->app);
    return command;
}

void cliFlag(CliCommand* command, const std::string& names, bool* value, const std::string& help) {
    command->app.add_flag(names, *value, help);
}

void cliWhole(CliCommand* command, const std::string& names, int* value, long long lo,
              long long hi, const std::string& typeName, const std::string& help,
              const std::string& defaultText) {
    command->app
        .add_option(names, *value, withDefault(help, defaultText.empty() ? std::to_string(*value)
                                                                          : defaultText))
        ->type_name(typeName)
        ->check(wholeCheck(lo, hi));
}

void cliNumber(CliCommand* command, const std::string& names, double* value, double lo, double hi,
               const std::string& typeName, const std::string& help) {
    command->app.add_option(names, *value, withDefault(help, shown(*value)))
        ->type_name(typeName)
        ->check(numberCheck(lo, hi));
}

void cliAbove(CliCommand* command, const std::string& names, double* value, double lo,
              const std::string& typeName, const std::string& help) {
    command->app.add_option(names, *value, withDefault(help, shown(*value)))
        ->type_name(typeName)
        ->check(aboveCheck(lo));
}

void cliText(CliCommand* command, const std::string& names, std::string* value,
             const std::string& typeName, const std::string& help,
             const std::function<std::string(const std::string&)>& check) {
    CLI::Option* option = command->app.add_option(names, *value, withDefault(help, *value));
    option->type_name(typeName);
    if (check)
        option->check(CLI::Validator([check](std::string& text) { return check(text); }, ""));
}

void cliArgument(CliCommand* command, const std::string& name, std::string* value,
                 const std::string& help, bool required) {
    command->app.add_option(name, *value, help)->required(required)->type_name("");
}

void cliExcludes(CliCommand* command, const std::string& a, const std::string& b) {
    CLI::Option* first = command->app.get_option(a);
    first->excludes(command->app.get_option(b));
}

int cliParse(CliCommand* command, int argc, char** argv) { return parseApp(&command->app, argc, argv); }

bool cliGiven(CliCommand* command, const std::string& name) {
    return command->app.get_option(name)->count() > 0;
}
