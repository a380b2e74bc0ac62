// The main dialog's template as data: the dialog's own attributes and its
// twenty controls in template order. The dialog is built from this table, so
// the order here is also the creation order and the tab order.
#pragma once

#include "res/resource.h"

#include <span>

namespace sarnoval {

enum class ControlKind {
    PushButton,
    DefPushButton, // the button that Enter presses
    RadioButton,   // automatic: checking one unchecks the rest of its group
    Edit,
    ListBox,
    Progress,
    Static,
    GroupBox,
};

// Style bits, named after what each means on screen; only those the dialog reads.
enum ControlStyle : unsigned {
    kTabStop = 1u << 0,
    kGroup = 1u << 1, // starts a group: radio buttons up to the next one exclude each other
    kReadOnly = 1u << 2,
    kNumber = 1u << 3, // digits only
    kAutoHScroll = 1u << 4,
    kBorder = 1u << 5,
    kDisabled = 1u << 6,
    kCentre = 1u << 7,
    kUpperCase = 1u << 8,
    kFlat = 1u << 9,
    kClientEdge = 1u << 10, // sunken edge inside the border
};

struct ControlTemplate {
    int id; // IDC_STATIC for controls that are never addressed
    const char* name;
    ControlKind kind;
    unsigned styles;
    const char* caption; // UTF-8
    // Dialog units.
    int x;
    int y;
    int w;
    int h;
};

struct DialogTemplate {
    int id;
    const char* caption;
    const char* fontName;
    int pointSize;
    // Client area, dialog units.
    int w;
    int h;
    std::span<const ControlTemplate> controls;
};

extern const DialogTemplate kMainDialog;

} // namespace sarnoval
