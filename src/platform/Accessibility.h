#pragma once

#include "platform/Types.h"

#include <QRectF>
#include <QString>

#include <qcoro/qcorotask.h>

#include <memory>
#include <optional>
#include <type_traits>
#include <variant>

// An element of another application's user interface (an AT-SPI accessible on Linux). Opaque to
// the core: it is only handed back to the Accessibility service that produced it.
class AccessibleElement {
public:
    virtual ~AccessibleElement() = default;
};
using AXElementRef = std::shared_ptr<AccessibleElement>;

// Error codes of the accessibility layer; success is 0.
enum class AXError : qint32 {
    success = 0,
    failure = -25200,
    illegalArgument = -25201,
    invalidUIElement = -25202,
    cannotComplete = -25204,
    attributeUnsupported = -25205,
    notImplemented = -25208,
    apiDisabled = -25211,
    noValue = -25212,
};

// A value read from or written to an attribute. Every read value is type-tested before use: a
// value of another kind than expected counts as a failed read.
using AXValue = std::variant<std::monostate, QString, TextRange, QRectF, AXElementRef>;

template <typename T>
struct AXResult {
    AXError error = AXError::noValue;
    T value{};

    bool ok() const { return error == AXError::success; }
};

// Reading and writing other applications' text through the accessibility interface. The attribute
// names are the accessibility layer's own; an implementation maps each of them to its calls.
class Accessibility {
public:
    static inline const QString focusedUIElementAttribute = QStringLiteral("AXFocusedUIElement");
    static inline const QString selectedTextAttribute = QStringLiteral("AXSelectedText");
    static inline const QString selectedTextRangeAttribute = QStringLiteral("AXSelectedTextRange");
    static inline const QString valueAttribute = QStringLiteral("AXValue");
    // Parameterised by a range; answers a rectangle in global screen coordinates, origin at the top
    // left of the primary screen, y downwards.
    static inline const QString boundsForRangeParameterizedAttribute = QStringLiteral("AXBoundsForRange");
    // A string; secureTextFieldSubrole for a password field (its text is masked or hidden).
    static inline const QString subroleAttribute = QStringLiteral("AXSubrole");
    static inline const QString secureTextFieldSubrole = QStringLiteral("AXSecureTextField");

    virtual ~Accessibility() = default;

    // Whether this program may use the interface; with prompt the system may ask the user.
    virtual bool isProcessTrusted(bool prompt = false) = 0;

    // The element for system-wide queries ("AXFocusedUIElement" on it is the keyboard focus).
    virtual AXElementRef systemWide() = 0;
    // The element of the application with that process id; null when there is none.
    virtual AXElementRef application(Pid pid) = 0;
    // The process id of the application the element belongs to.
    virtual AXResult<Pid> processIdentifier(const AXElementRef& element) = 0;

    virtual AXResult<AXValue> copyAttributeValue(const AXElementRef& element, const QString& attribute) = 0;
    virtual AXResult<AXValue> copyParameterizedAttributeValue(const AXElementRef& element,
                                                              const QString& attribute,
                                                              const AXValue& parameter) = 0;
    // Success does not prove that the application changed anything; callers verify.
    virtual AXError setAttributeValue(const AXElementRef& element, const QString& attribute,
                                      const AXValue& value) = 0;

    // The focus events that applications send of themselves, in the order they came: a mark is a
    // place in that stream, to ask later what came after it.
    virtual quint64 focusEventMark() = 0;
    struct FocusReports {
        bool lostSince = false; // the element's application said it lost the focus after the mark
        std::optional<bool> last; // its last word, whenever it came: true when it has the focus
    };
    virtual FocusReports focusReportsSince(const AXElementRef& element, quint64 mark) = 0;
    // Resumes at the element's application's next focus event, with what it says; absent when
    // none came within timeoutMs.
    virtual QCoro::Task<std::optional<bool>> nextFocusReport(AXElementRef element, qint64 timeoutMs) = 0;

    // The same, awaited: an implementation whose calls wait on other applications leaves the
    // caller's event loop running meanwhile. These forms answer as the plain ones do.
    virtual QCoro::Task<AXElementRef> applicationAsync(Pid pid) { co_return application(pid); }
    virtual QCoro::Task<AXResult<Pid>> processIdentifierAsync(AXElementRef element)
    {
        co_return processIdentifier(element);
    }
    virtual QCoro::Task<AXResult<AXValue>> copyAttributeValueAsync(AXElementRef element, QString attribute)
    {
        co_return copyAttributeValue(element, attribute);
    }
    virtual QCoro::Task<AXResult<AXValue>> copyParameterizedAttributeValueAsync(AXElementRef element, QString attribute,
                                                                                AXValue parameter)
    {
        co_return copyParameterizedAttributeValue(element, attribute, parameter);
    }
    virtual QCoro::Task<AXError> setAttributeValueAsync(AXElementRef element, QString attribute, AXValue value)
    {
        co_return setAttributeValue(element, attribute, value);
    }

    // A text element's selection as a capture reads it, in one go where the implementation can
    // (each awaited call is a trip to where the calls are made): the selected text, then its range,
    // the whole value and the range's rectangle. Where the text cannot be read or is empty, the
    // rest is left unread (noValue); so is the rectangle without a range.
    struct SelectionReads {
        AXResult<AXValue> selectedText, range, value, bounds;
    };
    virtual QCoro::Task<SelectionReads> readSelectionAsync(AXElementRef element)
    {
        SelectionReads reads;
        reads.selectedText = copyAttributeValue(element, selectedTextAttribute);
        const QString* text = reads.selectedText.ok() ? std::get_if<QString>(&reads.selectedText.value) : nullptr;
        if (!text || text->isEmpty()) co_return reads;
        reads.range = copyAttributeValue(element, selectedTextRangeAttribute);
        reads.value = copyAttributeValue(element, valueAttribute);
        if (reads.range.ok())
            reads.bounds = copyParameterizedAttributeValue(element, boundsForRangeParameterizedAttribute, reads.range.value);
        co_return reads;
    }
};

// Typed views of a read: absent on an error or a value of another kind.
namespace AX {
template <typename T>
std::optional<T> as(const AXResult<AXValue>& result)
{
    if (!result.ok()) return std::nullopt;
    if (const T* v = std::get_if<T>(&result.value)) {
        if constexpr (std::is_same_v<T, AXElementRef>)
            if (!*v) return std::nullopt;
        return *v;
    }
    return std::nullopt;
}
} // namespace AX
