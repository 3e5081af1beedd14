#include "viewer/SavedFrameName.h"

namespace didev {

namespace {

QString withExtension(const QString& name, const QString& extension)
{
    // Compared over the last four characters only, as the user typed them.
    if (name.right(4).toUpper() == extension.toUpper())
        return name;
    return name + extension;
}

} // namespace

std::optional<SavedFrameName> savedFrameName(const QString& chosen, int filterIndex)
{
    switch (filterIndex) {
    case 1:
        return SavedFrameName{withExtension(chosen, QStringLiteral(".jpg")), PictureFormat::Jpeg};
    case 2:
        return SavedFrameName{withExtension(chosen, QStringLiteral(".bmp")), PictureFormat::Bitmap};
    default:
        return std::nullopt;
    }
}

} // namespace didev
