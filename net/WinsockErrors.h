#pragma once

#include <QString>

// The fixed English message for a Winsock or resolver error code; "Not a Winsock error" for
// any other code.
QString WinsockErrorText(int code);
