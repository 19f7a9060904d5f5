#pragma once
// lumrx epg: see its row in CCommandTable.
class CLumrxHost;
struct CLumrxOptions;

int EpgCommand(CLumrxHost& host, const CLumrxOptions& options);
