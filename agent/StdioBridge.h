#pragma once

#include <QString>

// orvex-agent --stdio [LINE]: what comes on stdin goes to the socket of the agent of that
// line (the only one there when no line is named), what the agent says goes to stdout, until
// either side ends; the end of stdin ends the connection (the agent stops what that client
// asked for at the next module). ssh runs it at the site for a remote client. Returns the
// exit status.
int RunStdioBridge(const QString& line);
