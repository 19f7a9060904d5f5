#pragma once
// lumrx test: see its row in CCommandTable.
class CLumrxHost;
struct CLumrxOptions;

int TestCommand(CLumrxHost& host, const CLumrxOptions& options);
