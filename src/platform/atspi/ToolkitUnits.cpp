#include "platform/atspi/ToolkitUnits.h"

ToolkitUnits ToolkitUnits::forToolkit(const QString& toolkitName)
{
    if (toolkitName.trimmed().compare(QStringLiteral("Qt"), Qt::CaseInsensitive) == 0)
        return {TextOffsets::Unit::utf16, TextOffsets::LengthUnit::utf16, true};
    return {};
}
