#!/usr/bin/python
# Stand-in: runs the command with its C:\ paths on the stand-in drive.
import os, re, subprocess
from ansible.module_utils.basic import AnsibleModule

m = AnsibleModule(dict(_raw_params=dict(), chdir=dict()))
drive = lambda text: re.sub(r'[Cc]:\\\S*', lambda p: os.environ['STANDIN_C'] + p.group()[2:].replace('\\', '/'), text)
run = subprocess.run(drive(m.params['_raw_params']).split(), cwd=drive(m.params['chdir']),
                     capture_output=True, text=True)
m.exit_json(changed=True, rc=run.returncode, stdout=run.stdout, stderr=run.stderr,
            failed=run.returncode != 0)
