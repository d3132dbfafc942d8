#!/usr/bin/python
# Stand-in: one folder, names matched without regard to case.
import fnmatch, os
from ansible.module_utils.basic import AnsibleModule

m = AnsibleModule(dict(paths=dict(), patterns=dict(type='list'), file_type=dict(default='file'),
                       hidden=dict(type='bool')))
folder = os.environ['STANDIN_C'] + m.params['paths'][2:].replace('\\', '/')
files = [dict(path=os.path.join(folder, n), filename=n) for n in sorted(os.listdir(folder))
         if os.path.isdir(os.path.join(folder, n)) == (m.params['file_type'] == 'directory')
         and any(fnmatch.fnmatch(n.lower(), p.lower()) for p in m.params['patterns'])]
m.exit_json(files=files, matched=len(files))
