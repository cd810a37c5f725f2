#include "platform/x11/X11KeyTable.h"

#include "platform/Types.h"


#include <algorithm>
#include <array>

#include "platform/x11/XlibHeaders.h" // last: its macros clash with Qt

namespace {

using X11KeyTable::Key;

// By ANSI code. Keys that the core neither names nor sends are left out.
constexpr std::array kKeys = {
    Key{0, "AC01", XK_a, true},          Key{1, "AC02", XK_s, true},
    Key{2, "AC03", XK_d, true},          Key{3, "AC04", XK_f, true},
    Key{4, "AC06", XK_h, true},          Key{5, "AC05", XK_g, true},
    Key{6, "AB01", XK_z, true},          Key{7, "AB02", XK_x, true},
    Key{8, "AB03", XK_c, true},          Key{9, "AB04", XK_v, true},
    Key{11, "AB05", XK_b, true},         Key{12, "AD01", XK_q, true},
    Key{13, "AD02", XK_w, true},         Key{14, "AD03", XK_e, true},
    Key{15, "AD04", XK_r, true},         Key{16, "AD06", XK_y, true},
    Key{17, "AD05", XK_t, true},         Key{18, "AE01", XK_1, true},
    Key{19, "AE02", XK_2, true},         Key{20, "AE03", XK_3, true},
    Key{21, "AE04", XK_4, true},         Key{22, "AE06", XK_6, true},
    Key{23, "AE05", XK_5, true},         Key{24, "AE12", XK_equal, true},
    Key{25, "AE09", XK_9, true},         Key{26, "AE07", XK_7, true},
    Key{27, "AE11", XK_minus, true},     Key{28, "AE08", XK_8, true},
    Key{29, "AE10", XK_0, true},         Key{30, "AD12", XK_bracketright, true},
    Key{31, "AD09", XK_o, true},         Key{32, "AD07", XK_u, true},
    Key{33, "AD11", XK_bracketleft, true}, Key{34, "AD08", XK_i, true},
    Key{35, "AD10", XK_p, true},         Key{36, "RTRN", XK_Return, false},
    Key{37, "AC09", XK_l, true},         Key{38, "AC07", XK_j, true},
    Key{39, "AC11", XK_apostrophe, true}, Key{40, "AC08", XK_k, true},
    Key{41, "AC10", XK_semicolon, true}, Key{42, "BKSL", XK_backslash, true},
    Key{43, "AB08", XK_comma, true},     Key{44, "AB10", XK_slash, true},
    Key{45, "AB06", XK_n, true},         Key{46, "AB07", XK_m, true},
    Key{47, "AB09", XK_period, true},    Key{48, "TAB", XK_Tab, false},
    Key{49, "SPCE", XK_space, false},    Key{50, "TLDE", XK_grave, true},
    Key{51, "BKSP", XK_BackSpace, false}, Key{53, "ESC", XK_Escape, false},
    Key{65, "KPDL", XK_KP_Decimal, false}, Key{67, "KPMU", XK_KP_Multiply, false},
    Key{69, "KPAD", XK_KP_Add, false},   Key{75, "KPDV", XK_KP_Divide, false},
    Key{76, "KPEN", XK_KP_Enter, false}, Key{78, "KPSU", XK_KP_Subtract, false},
    Key{81, "KPEQ", XK_KP_Equal, false}, Key{82, "KP0", XK_KP_0, false},
    Key{83, "KP1", XK_KP_1, false},      Key{84, "KP2", XK_KP_2, false},
    Key{85, "KP3", XK_KP_3, false},      Key{86, "KP4", XK_KP_4, false},
    Key{87, "KP5", XK_KP_5, false},      Key{88, "KP6", XK_KP_6, false},
    Key{89, "KP7", XK_KP_7, false},      Key{91, "KP8", XK_KP_8, false},
    Key{92, "KP9", XK_KP_9, false},      Key{96, "FK05", XK_F5, false},
    Key{97, "FK06", XK_F6, false},       Key{98, "FK07", XK_F7, false},
    Key{99, "FK03", XK_F3, false},       Key{100, "FK08", XK_F8, false},
    Key{101, "FK09", XK_F9, false},      Key{102, "HJCV", XK_Hangul_Hanja, false},
    Key{103, "FK11", XK_F11, false},     Key{104, "HNGL", XK_Hangul, false},
    Key{109, "FK10", XK_F10, false},     Key{111, "FK12", XK_F12, false},
    Key{114, "INS", XK_Insert, false},   Key{115, "HOME", XK_Home, false},
    Key{116, "PGUP", XK_Prior, false},   Key{117, "DELE", XK_Delete, false},
    Key{118, "FK04", XK_F4, false},      Key{119, "END", XK_End, false},
    Key{120, "FK02", XK_F2, false},      Key{121, "PGDN", XK_Next, false},
    Key{122, "FK01", XK_F1, false},      Key{123, "LEFT", XK_Left, false},
    Key{124, "RGHT", XK_Right, false},   Key{125, "DOWN", XK_Down, false},
    Key{126, "UP", XK_Up, false},
};

static_assert(std::is_sorted(kKeys.begin(), kKeys.end(),
                             [](const Key& a, const Key& b) { return a.ansiCode < b.ansiCode; }));

} // namespace

namespace X11KeyTable {

std::optional<Key> find(quint16 ansiCode)
{
    const auto it = std::lower_bound(kKeys.begin(), kKeys.end(), ansiCode,
                                     [](const Key& k, quint16 code) { return k.ansiCode < code; });
    if (it == kKeys.end() || it->ansiCode != ansiCode) return std::nullopt;
    return *it;
}

const Key* begin() { return kKeys.data(); }
const Key* end() { return kKeys.data() + kKeys.size(); }

unsigned int maskForFlags(quint64 flags)
{
    unsigned int mask = 0;
    if (flags & ModifierFlag::shift) mask |= ShiftMask;
    if (flags & ModifierFlag::control) mask |= ControlMask;
    if (flags & ModifierFlag::option) mask |= Mod1Mask;
    if (flags & ModifierFlag::command) mask |= Mod4Mask;
    return mask;
}

unsigned int maskForHotKeyModifiers(quint32 carbonModifiers)
{
    unsigned int mask = 0;
    if (carbonModifiers & 0x100) mask |= Mod4Mask;
    if (carbonModifiers & 0x200) mask |= ShiftMask;
    if (carbonModifiers & 0x800) mask |= Mod1Mask;
    if (carbonModifiers & 0x1000) mask |= ControlMask;
    return mask;
}

quint64 flagsForMask(unsigned int mask)
{
    quint64 flags = 0;
    if (mask & ShiftMask) flags |= ModifierFlag::shift;
    if (mask & ControlMask) flags |= ModifierFlag::control;
    if (mask & Mod1Mask) flags |= ModifierFlag::option;
    if (mask & Mod4Mask) flags |= ModifierFlag::command;
    return flags;
}

} // namespace X11KeyTable
