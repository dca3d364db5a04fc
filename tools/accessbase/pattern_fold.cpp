#include "tools/accessbase/pattern_fold.h"

#include <cstring>

namespace {

struct Twin {
    const char* cyrillic; // UTF-8, capital and small letter
    const char* small;
    char latin;
};

// The twelve letters of Russian plates, whose shapes are Latin letters.
const Twin twins[] = {
    {"А", "а", 'A'}, {"В", "в", 'B'}, {"Е", "е", 'E'}, {"К", "к", 'K'},
    {"М", "м", 'M'}, {"Н", "н", 'H'}, {"О", "о", 'O'}, {"Р", "р", 'P'},
    {"С", "с", 'C'}, {"Т", "т", 'T'}, {"У", "у", 'Y'}, {"Х", "х", 'X'},
};

// The twin of the letter at `typed[at]`, with the letter's length in bytes.
const Twin* twin_at(const std::string& typed, size_t at, size_t* length) {
    for (const Twin& twin : twins) {
        for (const char* letter : {twin.cyrillic, twin.small}) {
            const size_t size = strlen(letter);
            if (typed.compare(at, size, letter) == 0) {
                *length = size;
                return &twin;
            }
        }
    }
    return nullptr;
}

void note_fold(std::string* folds, const std::string& from, char to) {
    if (!folds->empty())
        *folds += ", ";
    *folds += from + "→" + to;
}

} // namespace

std::string fold_pattern(const std::string& typed, std::string* folds) {
    std::string folded;
    folds->clear();
    for (size_t at = 0; at < typed.size();) {
        size_t length = 0;
        const Twin* twin = twin_at(typed, at, &length);
        if (twin != nullptr) {
            note_fold(folds, typed.substr(at, length), twin->latin);
            folded += twin->latin;
            at += length;
            continue;
        }
        const char c = typed[at++];
        if (c >= 'a' && c <= 'z') {
            note_fold(folds, std::string(1, c), static_cast<char>(c - 'a' + 'A'));
            folded += static_cast<char>(c - 'a' + 'A');
        } else {
            folded += c;
        }
    }
    return folded;
}
