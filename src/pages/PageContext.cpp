#include "pages/PageContext.h"

namespace m470 {

void ReportWrite(PageContext& context, int result) {
    if (result == 0) return;
    if (result == -1) context.Notice("message_text_7");
    else context.NoticeNumber("message_text_16", result);
}

}  // namespace m470
