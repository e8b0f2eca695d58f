#pragma once

#include "MarkupGeometry.h"

#include <QIcon>
#include <QString>
#include <cstdint>
#include <map>
#include <string>
#include <variant>

namespace quorvex::msgbox {

using markup::Colorref;

// A text of the message box: nothing, a string, or the number of a string in a string table.
class MessageText {
public:
    MessageText() = default;
    MessageText(const char* text) : value_(std::string(text ? text : "")) {}
    MessageText(std::string text) : value_(std::move(text)) {}
    static MessageText Resource(int id)
    {
        MessageText t;
        t.value_ = id;
        return t;
    }

    bool IsNull() const { return std::holds_alternative<std::monostate>(value_); }
    bool IsResource() const { return std::holds_alternative<int>(value_); }
    int ResourceId() const { return IsResource() ? std::get<int>(value_) : 0; }
    const std::string* String() const { return std::get_if<std::string>(&value_); }

private:
    std::variant<std::monostate, std::string, int> value_;
};

// Strings by number, as a program's string table holds them.
class StringTable {
public:
    void Set(int id, std::string text) { strings_[id] = std::move(text); }
    const std::string* Find(int id) const
    {
        const auto it = strings_.find(id);
        return it == strings_.end() ? nullptr : &it->second;
    }

private:
    std::map<int, std::string> strings_;
};

// The program's own string table, which boxes use unless they are given another one.
StringTable& ProgramStrings();

// The button identifiers, also the results of the box.
enum ButtonId : std::int32_t {
    IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7, IDHELP = 9,
    IDTRYAGAIN = 10, IDCONTINUE = 11, IDSKIP = 14, IDSKIPALL = 15, IDIGNOREALL = 16, IDYESTOALL = 19,
    IDNOTOALL = 20, IDREPORT = 21, IDCUSTOM1 = 23, IDCUSTOM2 = 24, IDCUSTOM3 = 25, IDCUSTOM4 = 26, IDLESS = 30,
    IDMORE = 31,
};
inline constexpr std::int32_t kCheckBoxTextId = 0x01000000;
inline constexpr std::uint32_t kCaptionCountdownTextId = 0x80000000;

// The type word: the platform's message box bits and the box's own.
namespace mb {
inline constexpr std::uint32_t OK = 0, OKCANCEL = 1, ABORTRETRYIGNORE = 2, YESNOCANCEL = 3, YESNO = 4,
                               RETRYCANCEL = 5, CANCELTRYCONTINUE = 6;
inline constexpr std::uint32_t ICONHAND = 0x10, ICONQUESTION = 0x20, ICONEXCLAMATION = 0x30, ICONASTERISK = 0x40,
                               USERICON = 0x80;
inline constexpr std::uint32_t DEFBUTTON2 = 0x100, DEFBUTTON3 = 0x200, DEFBUTTON4 = 0x300;
inline constexpr std::uint32_t HELP = 0x00004000, SETFOREGROUND = 0x00010000, TOPMOST = 0x00040000,
                               RIGHT = 0x00080000;
}  // namespace mb
inline constexpr std::uint32_t MBX_CONTINUEABORT = 7, MBX_SKIPSKIPALLCANCEL = 8, MBX_IGNOREIGNOREALLCANCEL = 9;
inline constexpr std::uint32_t MBX_CHECKBOX = 0x01000000, MBX_CHECKED = 0x02000000, MBX_CHECKBOX_BELOW = 0x04000000,
                               MBX_YESTOALL = 0x08000000, MBX_NOTOALL = 0x10000000, MBX_NORESOURCE = 0x20000000,
                               MBX_NOSOUND = 0x40000000;

// The background of an area of the box and the separator on its edge.
struct AreaBackground {
    int separatorStyle = 0;  // 0 none, 1 etched, 2 black line, 3 white line
    int separatorAlign = 0;  // where the separator's text sits: 0 left, 1 right, 2 centred
    MessageText separatorText;
    int effect = -1;         // -1 none, else a background effect
    Colorref color1 = kButtonFace, color2 = kButtonFace, color3 = kButtonFace;

    // Stands for the desktop's button face colour until the box resolves it.
    static constexpr Colorref kButtonFace = 0xFF000000;
};

using ButtonTextMap = std::map<std::int32_t, MessageText>;

// Everything a caller may set for one box; a default-constructed record holds the defaults.
struct MessageBoxParams {
    const StringTable* stringModule = nullptr;  // null: the program's own strings
    MessageText caption;
    std::string persistValueName;
    std::string persistCompany;
    std::int32_t persistNumber = 0;
    std::uint32_t reportMessage = 0;  // non-zero: a Report button that sends it to the owner
    AreaBackground boxBackground;
    std::int32_t headerHeight = 0;
    MessageText headerText;
    AreaBackground headerBackground;
    MessageText text;
    std::int32_t buttonAlign = 2;  // 0 left, 1 right, else centred
    std::uint32_t type = 0x30;
    AreaBackground controlBackground;
    MessageText detailsText;
    AreaBackground detailsBackground;
    std::int32_t timeoutSeconds = 0;
    std::int32_t disabledSeconds = 0;
    bool countdownInCaption = false;
    std::uint32_t helpContext = 0;
    QIcon userIcon;
    MessageText customButtons;
    MessageText checkBoxText;
    ButtonTextMap buttonTexts;
};

}  // namespace quorvex::msgbox
