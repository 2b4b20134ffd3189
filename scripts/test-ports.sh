# Loopback ports compiled into the test and demo builds. The version server (nginx or the fault
# server), the installer's download host and the HTTPS error endpoint listen on them during a run.
SF_HTTP_PORT=${SF_HTTP_PORT:-18480}
SF_HTTPS_PORT=${SF_HTTPS_PORT:-18443}
SF_PROXY_PORT=${SF_PROXY_PORT:-18888}
export SF_HTTP_PORT SF_HTTPS_PORT SF_PROXY_PORT
