#!/usr/bin/env bash
# The fleet playbook as Ansible reads it: YAML, task keywords and every
# module name resolved (the ansible.windows ones included). Exit 0 when it
# passes, 1 when it does not, 77 when ansible-playbook is not installed.
set -u
cd "$(dirname "$0")/../.."
if ! command -v ansible-playbook >/dev/null; then
  echo "fleet: SKIPPED — ansible-playbook is not installed (Debian package 'ansible'; 'make deps')"
  exit 77
fi
# A private home: no user configuration or cache comes into it.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
if HOME="$scratch" ANSIBLE_LOCAL_TEMP="$scratch/tmp" \
  ansible-playbook --syntax-check -i examples/fleet/inventory.ini examples/fleet/collect.yml \
  >"$scratch/log" 2>&1; then
  echo "fleet: examples/fleet/collect.yml passes ansible-playbook --syntax-check"
else
  cat "$scratch/log"
  echo "fleet: examples/fleet/collect.yml FAILED ansible-playbook --syntax-check"
  exit 1
fi
