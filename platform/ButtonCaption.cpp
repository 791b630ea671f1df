#include "platform/Platform.h"

namespace platform {

std::u16string ButtonCaption(Button button) {
    switch (button) {
        case Button::Ok: return u"OK";
        case Button::Cancel: return u"Cancel";
        case Button::Yes: return u"Yes";
        case Button::No: return u"No";
        case Button::NoToAll: return u"No to All";
        case Button::YesToAll: return u"Yes to All";
        case Button::Abort: return u"Abort";
        case Button::Retry: return u"Retry";
        case Button::Ignore: return u"Ignore";
        case Button::None: break;
    }
    return {};
}

std::vector<Button> ButtonsOf(uint32_t buttons) {
    std::vector<Button> list;
    for (uint32_t bit = 1; bit <= uint32_t(Button::Ignore); bit <<= 1)
        if (buttons & bit) list.push_back(static_cast<Button>(bit));
    return list;
}

}  // namespace platform
