#pragma once
// lumrx extract: see its row in CCommandTable.
class CLumrxHost;
struct CLumrxOptions;

int ExtractCommand(CLumrxHost& host, const CLumrxOptions& options);
