#!/usr/bin/env bash
# with-sound-server.sh COMMAND [ARGS...]: runs COMMAND on a sound server of the kind
# HALVIX_SOUND_SERVER names: the one PULSE_SERVER names when it is of that kind, else a private one
# started here and stopped when COMMAND ends. Exits with COMMAND's status.
source "$(dirname "${BASH_SOURCE[0]}")/services.sh"
trap stop_services EXIT
sound_server_answers || start_sound_server || exit 1
"$@"
