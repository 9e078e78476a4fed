// The one list of a report's fields, from which both its text and its JSON
// are written, so that the two never tell different things.
//
// A report builds its fields in the order they are shown; the text is a
// title line and one "  label: value" line a field, the JSON one object of
// "key": value pairs on one line. Shares are 0..1 in JSON and percent in
// the text.
#pragma once

#include <string>
#include <vector>

enum class FieldKind { kCount, kNumber, kShare, kYesNo, kText };

struct ReportField {
    std::string key;    // JSON key
    std::string label;  // text label
    FieldKind kind = FieldKind::kNumber;
    double number = 0;  // the count, number, share (0..1) or yes (not 0)
    std::string text;   // kText
    int decimals = 3;   // text: decimals of a number, or of a share in percent
};

ReportField fieldCount(const std::string& key, const std::string& label, long value);
ReportField fieldNumber(const std::string& key, const std::string& label, double value,
                        int decimals);
ReportField fieldShare(const std::string& key, const std::string& label, double share,
                       int decimals);
ReportField fieldYesNo(const std::string& key, const std::string& label, bool yes);
ReportField fieldText(const std::string& key, const std::string& label, const std::string& text);

std::string reportText(const std::string& title, const std::vector<ReportField>& fields);
std::string reportJson(const std::vector<ReportField>& fields);
