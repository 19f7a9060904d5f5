#pragma once
// lumrx services: see its row in CCommandTable.
class CLumrxHost;
struct CLumrxOptions;

int ServicesCommand(CLumrxHost& host, const CLumrxOptions& options);
