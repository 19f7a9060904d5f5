#pragma once
// lumrx subtitles: see its row in CCommandTable.
class CLumrxHost;
struct CLumrxOptions;

int SubtitlesCommand(CLumrxHost& host, const CLumrxOptions& options);
