# Writes OUT, a C++ file holding the stop-word lists ZH (converted from UTF-8
# to GB2312 with iconv) and EN (ASCII) as byte arrays.
execute_process(COMMAND iconv -f UTF-8 -t GB2312 ${ZH}
                OUTPUT_FILE ${OUT}.zh RESULT_VARIABLE converted)
if(NOT converted EQUAL 0)
  message(FATAL_ERROR "iconv could not convert ${ZH} to GB2312")
endif()

function(to_array file variable)
  file(READ ${file} hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
  set(${variable} "${bytes}" PARENT_SCOPE)
endfunction()
to_array(${OUT}.zh zh)
to_array(${EN} en)
file(REMOVE ${OUT}.zh)
file(WRITE ${OUT}.tmp "// Generated from host/stopwords/ by embed_stopwords.cmake.
#include \"engine/text/filter.h\"

namespace ulo::engine {
namespace {
const char kZh[] = {${zh} 0};
const char kEn[] = {${en} 0};
}  // namespace

std::string_view DefaultStopwordsZh() { return std::string_view(kZh, sizeof kZh - 1); }
std::string_view DefaultStopwordsEn() { return std::string_view(kEn, sizeof kEn - 1); }

}  // namespace ulo::engine
")
file(RENAME ${OUT}.tmp ${OUT})
