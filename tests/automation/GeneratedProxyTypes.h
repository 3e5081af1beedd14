#pragma once

// The types that the interface files name for qdbusxml2cpp, declared as a host declares them
// before it includes the generated proxies; here they are the module's own.
#include "automation/TestDriverRows.h"
#include "common/HostStringArrayDBus.h"

#include <QList>

using HostStringArray = didev::HostStringArray;
using MenuRows = QList<didev::PopupMenuRow>;
using MessageRows = QList<didev::ShownMessage>;
