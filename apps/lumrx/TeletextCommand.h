#pragma once
// lumrx teletext: see its row in CCommandTable.
class CLumrxHost;
struct CLumrxOptions;

int TeletextCommand(CLumrxHost& host, const CLumrxOptions& options);
