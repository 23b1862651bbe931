#include "payload/textids.hpp"

namespace payload {

const char* const kTextNames[kTextCount] = {
#define TALLOWIN_TEXT_NAME(name, english) #name,
    TALLOWIN_TEXTS(TALLOWIN_TEXT_NAME)
#undef TALLOWIN_TEXT_NAME
};

const char* const kEnglishTexts[kTextCount] = {
#define TALLOWIN_TEXT_ENGLISH(name, english) english,
    TALLOWIN_TEXTS(TALLOWIN_TEXT_ENGLISH)
#undef TALLOWIN_TEXT_ENGLISH
};

}  // namespace payload
