// The plate-recognition engine as the service sees it. The engine is a closed
// library that calls through the virtual table by slot, so the order of the
// virtual operations below is fixed and nothing may come before them (no
// virtual destructor: the service never destroys the engine).
//
// To confirm on the board: the C++ library ABI the engine was built with.
// The results carry std::string and std::vector by value across the
// library's edge, and the service frees what the engine allocated, so both
// sides must agree on their layout and share one libstdc++:
// - _GLIBCXX_USE_CXX11_ABI: an engine built with 0 (or by GCC before 5)
//   has the old one-pointer std::string, the service's default 1 the
//   24-byte one. `nm -DC --undefined-only` of the engine lists
//   std::__cxx11::basic_string calls with 1, std::string::_Rep ones with 0;
//   build the service with the engine's setting.
// - The compiler that built it: `readelf -p .comment` names the GCC, and
//   `readelf -V` the GLIBCXX versions it needs; the board's libstdc++.so.6
//   must have those and the ones the service's compiler asks for.
// - ARM EABI: `readelf -h` shows "Version5 EABI"; an engine of the old ABI
//   passes arguments and lays out records otherwise.
// - Exceptions thrown by the engine cross into the service's catch, which
//   needs both sides on the same unwinder (libgcc_s, ARM EHABI).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "board/recognizer_params.h"

namespace Brisvale {

struct SingleResult {
    std::string body;   // leading part of the plate text; may be empty
    std::string suffix; // trailing part; may be empty
    int32_t status = 0; // the service only tests it against zero
};

struct StreamResult {
    std::vector<unsigned char> image; // the whole 704 x 288 4:2:0 frame of the result
    std::string body;
    std::string suffix;
    unsigned char kind = 2; // plate-kind byte, handed on unchanged
};

// To confirm on the board: the order of the four slots and that no
// virtual destructor comes before them (a destructor takes two slots, so
// every call would land two slots further on).
class LPR {
  public:
    virtual SingleResult recognizeSingle(const unsigned char* frame, int width, int height) = 0;
    virtual std::pair<bool, StreamResult> recognizeStream(int mode, const unsigned char* frame,
                                                          int width, int height) = 0;
    // The engine's third operation; the service never calls it.
    virtual void reservedOperation() = 0;
    virtual void setParameters(const RecognizerParams* params) = 0;

    // To confirm on the board: the engine exports
    // _ZN8Brisvale3LPR14createInstanceEv (`nm -D`); another namespace or
    // class name fails the link, not the board.
    static LPR* createInstance();

  protected:
    ~LPR() = default;
};

} // namespace Brisvale
