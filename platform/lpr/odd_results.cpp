#include "platform/lpr/odd_results.h"

namespace {

const std::pair<const char*, odd_result> KINDS[] = {
    {"no-texts", odd_result::no_texts},
    {"short-image", odd_result::short_image},
    {"throw", odd_result::exception},
};

bool parse_item(const std::string& item, odd_plates_t* plates) {
    const size_t equals = item.find('=');
    if (equals == 0 || equals == std::string::npos)
        return false;
    const std::string kind = item.substr(equals + 1);
    for (const auto& known : KINDS)
        if (kind == known.first) {
            plates->emplace_back(item.substr(0, equals), known.second);
            return true;
        }
    return false;
}

} // namespace

bool parse_odd_plates(const std::string& text, odd_plates_t* plates, std::string* problem) {
    plates->clear();
    size_t from = 0;
    while (from < text.size()) {
        size_t comma = text.find(',', from);
        if (comma == std::string::npos)
            comma = text.size();
        const std::string item = text.substr(from, comma - from);
        if (!parse_item(item, plates)) {
            *problem = item;
            return false;
        }
        from = comma + 1;
    }
    return true;
}

odd_result odd_result_for(const odd_plates_t& plates, const std::string& body) {
    for (const auto& plate : plates)
        if (plate.first == body)
            return plate.second;
    return odd_result::none;
}
