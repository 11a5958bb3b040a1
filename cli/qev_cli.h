#pragma once

#include <cstdio>

// Exit codes of the qev tool.
enum tdExitCode
{
    Exit_Success = 0,
    Exit_Failure = 1, // an input could not be read or an output not written
    Exit_Usage = 2,   // unknown argument, missing input, value out of range
};

// Runs the qev tool: argv as main receives it; results go to poOut, messages to
// poErr. Returns the exit code.
int iRunQEV(int iArgc, const char* const* ppszArgv, FILE* poOut, FILE* poErr);

// Checks the value text of one settings option argument ("-sm2"). Returns true
// when it is a number within the option's range; otherwise false with a message
// naming the option in pszMessage (at least 512 bytes).
bool bCheckOptionArgument(const char* pszArgument, char* pszMessage, int iMessageSize);
