#!/usr/bin/python
# Stand-in: copies into a folder only once it is private.
import os, shutil
from ansible.module_utils.basic import AnsibleModule

m = AnsibleModule(dict(src=dict(), dest=dict()))
dest = os.environ['STANDIN_C'] + m.params['dest'][2:].replace('\\', '/')
if not os.path.isdir(dest) or os.stat(dest).st_mode & 0o077:
    m.fail_json(msg='copy into a folder that is not private: ' + dest)
shutil.copytree(m.params['src'], dest, dirs_exist_ok=True)
m.exit_json(changed=True)
