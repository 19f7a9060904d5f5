#pragma once
// lumrx plugins: see its row in CCommandTable.
class CLumrxHost;
struct CLumrxOptions;

int PluginsCommand(CLumrxHost& host, const CLumrxOptions& options);
