#pragma once
// lumrx remove: see its row in CCommandTable.
class CLumrxHost;
struct CLumrxOptions;

int RemoveCommand(CLumrxHost& host, const CLumrxOptions& options);
