#pragma once
class CLumrxHost;
struct CLumrxOptions;

// lumrx play NAME|FILE SERVICE: the service played without a window, its sound heard.
int PlayCommand(CLumrxHost& host, const CLumrxOptions& options);
