#pragma once

// The types that the interface files name for qdbusxml2cpp, declared as a host declares them
// before it includes the generated proxies; here they are the module's own.
#include "automation/HostStringArrayDBus.h"
#include "automation/TestDriverRows.h"

#include <QList>

using HostStringArray = didev::HostStringArray;
using MenuRows = QList<didev::MenuRow>;
using MessageRows = QList<didev::MessageRow>;
