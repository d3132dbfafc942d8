#!/usr/bin/python
# Stand-in: state=absent only.
import os, shutil
from ansible.module_utils.basic import AnsibleModule

m = AnsibleModule(dict(path=dict(), state=dict()))
path = m.params['path']
if not path.startswith('/'):
    path = os.environ['STANDIN_C'] + path[2:].replace('\\', '/')
if os.path.isdir(path):
    shutil.rmtree(path)
elif os.path.lexists(path):
    os.remove(path)
m.exit_json(changed=True)
