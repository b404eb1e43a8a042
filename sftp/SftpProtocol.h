#pragma once

#include "sftp/SftpSettings.h"

// Makes InternetConnectA with INTERNET_FLAG_SFTP connect over SSH (port 22
// unless the host names one), with these settings for every later connect.
void registerSftpProtocol(const SftpSettings &settings);
