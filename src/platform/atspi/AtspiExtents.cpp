#include "platform/atspi/AtspiExtents.h"

#include "platform/atspi/GErrorSlot.h"
#include "platform/atspi/GMemory.h"
#include "platform/atspi/GObjectRef.h"

#include <algorithm>

namespace AtspiExtents {

using Accessible = GObjectRef<AtspiAccessible>;

std::optional<QRectF> range(AtspiText* text, gint start, gint end)
{
    GErrorSlot error;
    GOwned<AtspiRect> r(atspi_text_get_range_extents(text, start, end, ATSPI_COORD_TYPE_SCREEN, error.out()));
    if (error.failed() || !r) return std::nullopt;
    return QRectF(r->x, r->y, r->width, r->height);
}

namespace {

std::optional<QRectF> characterBox(AtspiText* text, gint offset)
{
    GErrorSlot error;
    GOwned<AtspiRect> r(atspi_text_get_character_extents(text, offset, ATSPI_COORD_TYPE_SCREEN, error.out()));
    if (error.failed() || !r) return std::nullopt;
    return QRectF(r->x, r->y, r->width, r->height);
}

} // namespace

std::optional<QRectF> longRange(AtspiText* text, gint start, gint end)
{
    const std::optional<QRectF> first = characterBox(text, start);
    const std::optional<QRectF> last = characterBox(text, end - 1);
    if (!first || !last) return std::nullopt;
    QRectF box = first->united(*last);
    // Lines wrapped in between all start at the left edge the last line starts at.
    GErrorSlot error;
    AtspiTextRange* line = atspi_text_get_string_at_offset(text, end - 1, ATSPI_TEXT_GRANULARITY_LINE, error.out());
    const gint lineStart = !error.failed() && line ? line->start_offset : start;
    if (line) g_boxed_free(ATSPI_TYPE_TEXT_RANGE, line);
    if (lineStart > start && lineStart < end - 1)
        if (const std::optional<QRectF> edge = characterBox(text, lineStart)) box = box.united(*edge);
    return box;
}

// Qt's rectangle of a range: from its first character's box to its last one's (range extents
// there take one character too many). Qt's QPlainTextEdit gives every paragraph's boxes the y of
// the text's first line; a box in a later paragraph that reports the very first line's y is thus
// known to be wrong, and there is no rectangle (the panel goes to the pointer instead).
std::optional<QRectF> characterSpan(AtspiText* text, const QString& whole, gint first, gint last)
{
    const std::optional<QRectF> a = characterBox(text, first);
    const std::optional<QRectF> b = first == last ? a : characterBox(text, last);
    if (!a || !b) return std::nullopt;
    const qint64 paragraph = whole.lastIndexOf(QChar(u'\n'), std::max(first - 1, 0)) + 1;
    if (first > 0 && paragraph > 0) {
        const std::optional<QRectF> origin = characterBox(text, 0);
        if (!origin || qFuzzyCompare(origin->y() + 1, a->y() + 1)) return std::nullopt;
    }
    return a->united(*b);
}

std::optional<QRectF> window(AtspiAccessible* object)
{
    GErrorSlot error;
    Accessible current = Accessible::adopt(ATSPI_ACCESSIBLE(g_object_ref(object)));
    for (int depth = 0; current && depth < 64; ++depth) {
        Accessible parent = Accessible::adopt(atspi_accessible_get_parent(current.get(), error.out()));
        if (error.failed() || !parent) return std::nullopt;
        if (atspi_accessible_get_role(parent.get(), error.out()) == ATSPI_ROLE_APPLICATION) {
            auto component = GObjectRef<AtspiComponent>::adopt(atspi_accessible_get_component_iface(current.get()));
            if (!component) return std::nullopt;
            GOwned<AtspiRect> r(atspi_component_get_extents(component.get(), ATSPI_COORD_TYPE_SCREEN, error.out()));
            if (error.failed() || !r) return std::nullopt;
            return QRectF(r->x, r->y, r->width, r->height);
        }
        if (error.failed()) return std::nullopt;
        current = std::move(parent);
    }
    return std::nullopt;
}

} // namespace AtspiExtents
