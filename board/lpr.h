// The plate-recognition engine as the service sees it. The engine is a closed
// library that calls through the virtual table by slot, so the order of the
// virtual operations below is fixed and nothing may come before them (no
// virtual destructor: the service never destroys the engine).
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

class LPR {
  public:
    virtual SingleResult recognizeSingle(const unsigned char* frame, int width, int height) = 0;
    virtual std::pair<bool, StreamResult> recognizeStream(int mode, const unsigned char* frame,
                                                          int width, int height) = 0;
    // The engine's third operation; the service never calls it.
    virtual void reservedOperation() = 0;
    virtual void setParameters(const RecognizerParams* params) = 0;

    static LPR* createInstance();

  protected:
    ~LPR() = default;
};

} // namespace Brisvale
