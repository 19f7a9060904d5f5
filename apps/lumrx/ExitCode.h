#pragma once
// lumrx's exit codes, one per kind of failure, so that scripts can tell them apart.
enum ExitCode
{
    ExitOk = 0,
    ExitNothingFound = 1,     // no service found, or no data received
    ExitUsage = 2,
    ExitUnknownPlugin = 3,
    ExitUnknownDefinition = 4,
    ExitFileUnreadable = 5,   // missing or unreadable file
    ExitNotTransportStream = 6,
    ExitOpenFailed = 7,       // the input plug-in could not open the multiplex
    ExitSaveFailed = 8,       // the definitions file could not be written
    ExitRecordFailed = 9,     // the recording could not be created or written (a full disk)
    ExitNoSignal = 10,        // the tuner found nothing to lock on
};
