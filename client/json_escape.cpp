#include "client/json_escape.h"

void AppendJsonEscaped(std::string& out, const char* text)
{
    if (text == nullptr) {
        return;
    }
    static const char hex[] = "0123456789abcdef";
    for (const char* p = text; *p != '\0'; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 0x0f];
            } else {
                out += static_cast<char>(c);
            }
        }
    }
}

std::string JsonEscaped(const char* text)
{
    std::string out;
    AppendJsonEscaped(out, text);
    return out;
}

std::string JsonQuotedList(const std::vector<std::string>& names)
{
    std::string out;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0) {
            out += ',';
        }
        out += '"';
        AppendJsonEscaped(out, names[i].c_str());
        out += '"';
    }
    return out;
}
