#!/bin/sh
# scripts/configure.sh <preset>: installs the preset's packages and configures
# its folder, once (scripts/config.sh); what every make target does before
# building.
# shellcheck source=scripts/config.sh
. "$(dirname "$0")/config.sh"
configure "$@"
