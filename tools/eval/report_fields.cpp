#include "eval/report_fields.h"

#include <cstdio>

namespace {

std::string formatted(const char* format, int decimals, double value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, decimals, value);
    return buf;
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned char>(c));
            out += buf;
            continue;
        }
        out += c;
    }
    return out + "\"";
}

ReportField field(const std::string& key, const std::string& label, FieldKind kind, double number,
                  int decimals) {
    ReportField f;
    f.key = key;
    f.label = label;
    f.kind = kind;
    f.number = number;
    f.decimals = decimals;
    return f;
}

}  // namespace

ReportField fieldCount(const std::string& key, const std::string& label, long value) {
    return field(key, label, FieldKind::kCount, static_cast<double>(value), 0);
}

ReportField fieldNumber(const std::string& key, const std::string& label, double value,
                        int decimals) {
    return field(key, label, FieldKind::kNumber, value, decimals);
}

ReportField fieldShare(const std::string& key, const std::string& label, double share,
                       int decimals) {
    return field(key, label, FieldKind::kShare, share, decimals);
}

ReportField fieldYesNo(const std::string& key, const std::string& label, bool yes) {
    return field(key, label, FieldKind::kYesNo, yes ? 1 : 0, 0);
}

ReportField fieldText(const std::string& key, const std::string& label, const std::string& text) {
    ReportField f = field(key, label, FieldKind::kText, 0, 0);
    f.text = text;
    return f;
}

std::string reportText(const std::string& title, const std::vector<ReportField>& fields) {
    std::string out = title + "\n";
    for (const ReportField& f : fields) {
        out += "  " + f.label + ": ";
        switch (f.kind) {
            case FieldKind::kCount: out += std::to_string(static_cast<long>(f.number)); break;
            case FieldKind::kNumber: out += formatted("%.*f", f.decimals, f.number); break;
            case FieldKind::kShare: out += formatted("%.*f %%", f.decimals, 100 * f.number); break;
            case FieldKind::kYesNo: out += f.number != 0 ? "yes" : "NO"; break;
            case FieldKind::kText: out += f.text; break;
        }
        out += "\n";
    }
    return out;
}

std::string reportJson(const std::vector<ReportField>& fields) {
    std::string out = "{";
    for (const ReportField& f : fields) {
        if (out.size() > 1) out += ", ";
        out += quoted(f.key) + ": ";
        switch (f.kind) {
            case FieldKind::kCount: out += std::to_string(static_cast<long>(f.number)); break;
            case FieldKind::kNumber:
            case FieldKind::kShare: out += formatted("%.*f", 6, f.number); break;
            case FieldKind::kYesNo: out += f.number != 0 ? "true" : "false"; break;
            case FieldKind::kText: out += quoted(f.text); break;
        }
    }
    return out + "}\n";
}
