#pragma once
// lumrx add: see its row in CCommandTable.
class CLumrxHost;
struct CLumrxOptions;

int AddCommand(CLumrxHost& host, const CLumrxOptions& options);
