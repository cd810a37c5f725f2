#pragma once

#include <QString>

// Where the data files live: $SORELWICK_DATA_DIR when set (it overrides everything), else
// share/sorelwick of the tree the program is in (bin/, libexec/sorelwick/, share/sorelwick/), else
// the installed data dir, else the build tree's, so that a moved install, tests and scripts/run
// find them.
namespace Resources {
// The command that reaches Sorelwick from outside (a desktop shortcut, autostart): bin/sorelwick,
// the quick hand-over front of this tree; this program itself where there is none.
QString frontProgram();
QString dataDirectories(); // for messages: the folders searched, in order
// Full path of the named file in the first folder that has it; empty when none has it.
QString locate(const QString& fileName);
} // namespace Resources
