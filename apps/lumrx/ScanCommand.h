#pragma once
// lumrx scan: see its row in CCommandTable.
class CLumrxHost;
struct CLumrxOptions;

int ScanCommand(CLumrxHost& host, const CLumrxOptions& options);
