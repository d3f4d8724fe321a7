#pragma once

#include "Version.h"

#include <QString>

namespace vx8 {

// What the program file's version resource holds on the platform the program came from.
struct ProductInfo
{
    static QString productName() { return QStringLiteral("VX8"); }
    static QString legalCopyright()
    {
        return QStringLiteral("Copyright (C) Calderwick. All rights reserved.");
    }
    static int major() { return VersionMajor; }
    static int minor() { return VersionMinor; }
    static int release() { return VersionRelease; }
    static int build() { return VersionBuild; }
};

} // namespace vx8
