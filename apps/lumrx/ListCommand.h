#pragma once
// lumrx list: see its row in CCommandTable.
class CLumrxHost;
struct CLumrxOptions;

int ListCommand(CLumrxHost& host, const CLumrxOptions& options);
